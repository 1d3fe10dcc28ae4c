#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into OUT_DIR/<target>/.

Usage: fuzz/make_seeds.py OUT_DIR

Text seeds are written from the tables below; media seeds are made with
Debian's ffmpeg (tiny clips, a fraction of a second each, plus truncated
copies). Nothing is downloaded and nothing binary is kept in the repository.
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile

OPTION_TEXTS = [
    "vcodec=mpeg4<CRLF>B=800000",
    "vcodec=libx264\r\nb=800000\r\ng=250\r\nvpre=medium",
    "s=320x240\nr=25\naspect=16:9\nvf=hflip",
    "t=00:00:10\nss=5\nitsoffset=-1.5",
    "map=0:1:1:0\nmap_meta_data=0:0\nnewvideo=\nnewaudio=",
    "metadata=title=a=b\ntimestamp=now",
    "acodec=copy\r\nar=44100\r\nac=2\r\nab=128000",
    "  \t F=mp4 \r\r\n\nTARGET=pal-dvd<CRLF><CRLF>",
    "loglevel=quiet\nthreads=2\nqscale=255.5",
    "flags2=+bpyramid-dct8x8\npartitions=+parti8x8-parti4x4\nflags=+loop+scan_offset",
]

# (name, value) pairs; each seed of the ParseOption target is a few of them.
OPTION_PAIRS = [
    [("vcodec", "libx264"), ("vpre", "medium"), ("b", "64")],
    [("target", "pal-dvd")], [("r", "29.97"), ("target", "vcd")], [("target", "film-svcd")],
    [("s", "480*272  (PSP)"), ("croptop", "10"), ("cropleft", "4")],
    [("aspect", "4:0")], [("aspect", "1.5")], [("r", "0")], [("r", "ntsc")],
    [("qscale", "255")], [("vtag", "XVID")], [("atag", "DX5")],
    [("metadata", "title")], [("itsscale", "1:0.5")], [("itsscale", "20:1")],
    [("streamid", "0:256")], [("streamid", "3")], [("map", "0.1")],
    [("intra_matrix", ",".join(["16"] * 64))], [("inter_matrix", ",".join(["8"] * 70))],
    [("rc_override", "0,100,2/101,200,-50")],
    [("crf", "nan")], [("g", "/usr/lib")], [("b", "1/0")], [("sample_fmt", "subrip")],
    [("vcodce", "libx264")], [("vstats", "1")], [("vstats_file", "stats.log")],
    [("absf", "aac_adtstoasc")], [("vbsf", "h264_mp4toannexb=x")], [("sbsf", "nosuch")],
    [("flags2", "+bpyramid-wpred"), ("partitions", "+parti8x8")],
    [("flags", "+loop+scan_offset"), ("directpred", "1"), ("cqp", "0")],
    [("t", "10"), ("ss", "00:00:02.5"), ("timestamp", "2010-01-01 12:00:00")],
    [("pix_fmt", "yuv420p"), ("sample_fmt", "s16"), ("ar", "0"), ("ac", "-1")],
    [("fs", "$FF"), ("vframes", "0x10"), ("dframes", "-1"), ("aframes", "99999999999")],
    [("shortest", ""), ("copyts", "0"), ("xerror", "0"), ("deinterlace", "1")],
    [("muxdelay", "0.7"), ("muxpreload", "1e3"), ("adrift_threshold", "-0.1")],
    [("apre", "../../../../etc/passwd")], [("fpre", "libx264-medium")],
    [("vcodec", "libx264"), ("vpre", "LIBX264-SLOW_FIRSTPASS")],
    [("loglevel", "debug"), ("debug", "1")], [("muxrate", "10080000"), ("packetsize", "2324")],
]

PRESET_FILES = [
    "coder=1\nflags=+loop\ncmp=+chroma\npartitions=+parti8x8+parti4x4+partp8x8+partb8x8\n"
    "me_method=hex\nsubq=7\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\n"
    "i_qfactor=0.71\nb_strategy=1\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=3\n"
    "directpred=1\ntrellis=1\nflags2=+mixed_refs+wpred+dct8x8+fastpskip\nwpredp=2\n",
    "vcodec=libx264\r\nacodec=aac\r\nb=800000\r\n",
    "coder=0\nbf=0\nflags2=-wpred-dct8x8\nwpredp=0\n",
    "crf=nan\n",
    "# a comment\nb=800000\n",
    "line without equals\n",
    "=value\nkey=\n",
    "nosuchoption=1\n",
    "g=/usr/lib\nmaxrate=1000000\n",
]

SYSTEM_INIS = [
    "[skin]\nSetSkin=skin2\n[OutPath]\nOutPath=/tmp/out\n[SnapShot]\nDir=/tmp/snap\nPicture=PNG\n",
    "\ufeff[Update]\r\nInfoUrl=https://update.example.org/update.ini\r\n",
    "[skin]\nSetSkin=other\n[OutPath]\nOutPath=Error\n[SnapShot]\nPicture=bmp\n",
    "[OutPath]\nOutPath=\"/home/用户/视频 目录\"\n[Update]\nInfoUrl=file:///etc/passwd\n",
    "[version]\nnew=1.64\ndate=2024-01-01\nlinks1=https://example.org/zorvex.deb\nsize=12 MB\n",
    "[VERSION]\r\nNew = \"1.63\"\r\nlinks1='ftp://x'\r\n; comment\r\nnew=2\r\n",
    "[version\nnew=1\n[]\n=\n[version]\nlinks1=javascript:alert(1)\n",
    "[a]\nb=c\\\nd\n[%General]\nx=@ByteArray(\\0)\ny=@Variant(\\0\\0\\0\\x7f)\n",
]


def write(folder, name, data):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode("utf-8"))


def format_settings_seed(pick, duration_us, switches, source, folder, choices, boxes):
    data = bytes([pick]) + struct.pack(">q", duration_us) + bytes([switches])
    data += source.encode() + b"\n" + folder.encode() + b"\n" + bytes(choices)
    data += b"\n".join(b.encode() for b in boxes)
    return data


# Tiny clips: (file name, ffmpeg arguments after the inputs).
MEDIA = [
    ("a.mp4", ["-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac", "-b:a", "16k"]),
    ("b.mkv", ["-c:v", "mpeg4", "-c:a", "libmp3lame", "-b:a", "16k", "-metadata", "title=T"]),
    ("c.avi", ["-c:v", "mjpeg", "-c:a", "pcm_s16le"]),
    ("d.flv", ["-c:v", "flv1", "-c:a", "libmp3lame", "-ar", "22050", "-b:a", "16k"]),
    ("e.ts", ["-c:v", "mpeg2video", "-c:a", "mp2", "-b:a", "32k"]),
    ("f.ogg", ["-vn", "-c:a", "libvorbis"]),
    ("g.wav", ["-vn", "-c:a", "pcm_u8"]),
    ("h.mp3", ["-vn", "-c:a", "libmp3lame", "-b:a", "16k", "-metadata", "artist=A"]),
    ("i.webm", ["-c:v", "libvpx", "-c:a", "libopus", "-b:a", "16k"]),
    ("j.gif", ["-an"]),
    ("k.3gp", ["-c:v", "h263", "-s", "128x96", "-c:a", "libopencore_amrnb", "-ar", "8000",
               "-ac", "1"]),
    ("l.mov", ["-c:v", "prores", "-an"]),
    ("m.mpg", ["-c:v", "mpeg1video", "-r", "25", "-c:a", "mp2", "-b:a", "32k", "-f", "vcd"]),
    ("n.nut", ["-c:v", "ffv1", "-c:a", "flac"]),
    ("o.y4m", ["-an", "-pix_fmt", "yuv422p"]),
    ("p.asf", ["-c:v", "wmv2", "-c:a", "wmav2", "-b:a", "32k"]),
]


def media_seeds(folder):
    ffmpeg = shutil.which("ffmpeg")
    if ffmpeg is None:
        print("make_seeds: no ffmpeg, the probe gets text seeds only", file=sys.stderr)
        return
    with tempfile.TemporaryDirectory() as tmp:
        inputs = ["-f", "lavfi", "-i", "testsrc=size=64x48:rate=10:duration=0.3",
                  "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=8000:duration=0.3"]
        for name, args in MEDIA:
            path = os.path.join(tmp, name)
            cmd = [ffmpeg, "-v", "error", "-y"] + inputs + args + ["-t", "0.3", path]
            if subprocess.run(cmd, stdin=subprocess.DEVNULL).returncode != 0 or \
                    not os.path.exists(path):
                print(f"make_seeds: ffmpeg could not make {name}", file=sys.stderr)
                continue
            with open(path, "rb") as f:
                data = f.read()[:60000]
            write(folder, name, data)
            write(folder, "cut-" + name, data[: len(data) // 3])
        subtitles = "1\n00:00:00,000 --> 00:00:01,000\n你好\n\n2\n00:00:01,000 --> 00:00:02,000\nx\n"
        write(folder, "q.srt", subtitles)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    for i, text in enumerate(OPTION_TEXTS):
        write(os.path.join(out, "option_text_fuzzer"), f"seed{i:02}", text)
    for i, pairs in enumerate(OPTION_PAIRS):
        write(os.path.join(out, "parse_option_fuzzer"), f"seed{i:02}",
              b"\0".join(f"{n}={v}".encode() for n, v in pairs))
    for i, text in enumerate(PRESET_FILES):
        write(os.path.join(out, "preset_file_fuzzer"), f"seed{i:02}", text)
    for i, text in enumerate(SYSTEM_INIS):
        write(os.path.join(out, "ini_fuzzer"), f"seed{i:02}", text)
    settings = os.path.join(out, "format_settings_fuzzer")
    write(settings, "seed00", format_settings_seed(0, 95_000_000, 0b10001, "/home/u/a b.mp4",
                                                   "/tmp/out", [0] * 10,
                                                   ["00", "00", "10", "00", "01", "05"]))
    write(settings, "seed01", format_settings_seed(3, -1, 0b11111, "/v/视频.avi", "/o",
                                                   [2, 3, 1, 4, 2, 1, 1, 2, 1, 3],
                                                   ["", "", "", "99", "", ""]))
    write(settings, "seed02", format_settings_seed(70, 2**62, 0b10001, "x", "",
                                                   [9] * 10, ["999999999999999999"] * 6))
    write(settings, "seed03", format_settings_seed(40, 3_600_000_000, 0b10001, "y.mkv", "/o",
                                                   [0] * 10, ["01", "", "", "00", "59", "60"]))
    media_seeds(os.path.join(out, "probe_fuzzer"))


if __name__ == "__main__":
    main()
