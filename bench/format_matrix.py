#!/usr/bin/env python3
"""Conformance matrix of the format catalogue (run through bench/format_matrix.sh).

Generates short sources of the shapes people really have, converts each through
every catalogue format with its preselected choices (zorvex-cli convert), and
every other encoder and channel choice of each format (plus the frame rates of
the MPEG-1/2 formats) on one source, then checks each output with ffprobe and
ffmpeg's cropdetect: it opens and decodes; container and codecs as the format's
tables name them; H.264 profile and pixel format 8-bit 4:2:0; frame size and
rate; the picture's display shape (sample aspect and rotation applied, black
bars excluded) within 1 % of the source's; channel count and sample rate as
chosen; duration within 0.2 s; no "buffer underflow" in the log.

The expectations are written here from the catalogue's tables, independently of
the program's own code. A choice the program refuses before converting passes
only when Debian's ffmpeg cannot write the same pair with the same settings
either.
"""

import argparse
import concurrent.futures
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
from dataclasses import dataclass, field
from fractions import Fraction

# ---------------------------------------------------------------------------
# The catalogue's tables: choice lists and each format's preselected choices.

E = {
    1: ["PAL_VCD视频压缩器", "NTSC_VCD视频压缩器"],
    2: ["PAL_SVCD视频压缩器", "NTSC_SVCD视频压缩器"],
    3: ["VOB视频压缩器"],
    4: ["PAL_DVD视频压缩器", "NTSC_DVD视频压缩器"],
    5: ["Divx 5 视频压缩器", "MPEG4视频压缩器", "XviD 视频压缩器1", "XviD 视频压缩器2",
        "H264/AVC高清视频压缩器"],
    6: ["MPEG4视频压缩器", "XviD 视频压缩器1", "XviD 视频压缩器2", "Divx 5 视频压缩器",
        "H264/AVC高清视频压缩器"],
    7: ["MPEG4视频压缩器", "Divx 5 视频压缩器", "XviD 视频压缩器1", "XviD 视频压缩器2",
        "H264/AVC高清视频压缩器"],
    8: ["H264/AVC高清视频压缩器", "Divx 5 视频压缩器", "MPEG4 视频压缩器", "XviD 视频压缩器1",
        "XviD 视频压缩器2", "Divx 视频压缩器"],
    9: ["QuickTime视频压缩器"],
    10: ["FLV格式视频压缩器"],
    11: ["FLASH格式视频压缩器"],
    12: ["MPEG视频压缩器"],
    13: ["Divx 5 视频压缩器", "MPEG4 视频压缩器", "XviD 视频压缩器1", "XviD 视频压缩器2",
         "Divx 视频压缩器", "H264/AVC高清视频压缩器"],
    14: ["H264/AVC高清视频压缩器", "Divx 5 视频压缩器", "MPEG4 视频压缩器", "XviD 视频压缩器1",
         "XviD 视频压缩器2", "Divx 视频压缩器", "Mjpeg 视频压缩器"],
    15: ["Divx 5 视频压缩器", "MPEG4 视频压缩器", "XviD 视频压缩器1", "XviD 视频压缩器2",
         "Divx 视频压缩器", "Mjpeg 视频压缩器", "H264/AVC高清视频压缩器"],
    16: ["MPEG4视频压缩器", "XviD 视频压缩器1", "XviD 视频压缩器2", "H264/AVC高清视频压缩器",
         "Divx 5 视频压缩器"],
    17: ["RM视频压缩器1", "RM视频压缩器2"],
    18: ["WMV视频压缩器"],
    19: ["ASF视频压缩器"],
    20: ["Mjpeg 视频压缩器"],
}

A = {
    1: ["MP3音频编码器", "Flac音频编码器", "AAC音频编码器", "AC3音频编码器"],
    2: ["VOB音频编码器", "MP3音频编码器", "Flac音频编码器", "AAC音频编码器", "AC3音频编码器"],
    3: ["AAC音频编码器", "MP3音频编码器", "Flac音频编码器", "AC3音频编码器"],
    4: ["AAC音频编码器"],
    5: ["AAC音频编码器", "MP3音频编码器"],
    6: ["MP2音频编码器", "MP3音频编码器", "Flac音频编码器", "AAC音频编码器", "AC3音频编码器"],
    7: ["自动音频编码器"],
    8: ["WMV音频编码器"],
    9: ["ASF音频编码器1", "ASF音频编码器2"],
    10: ["MP3音频编码器"],
    11: ["WMA音频编码器"],
    12: ["WAVE音频编码器"],
    13: ["AC3音频编码器"],
    14: ["OGG音频编码器"],
    15: ["MP2音频编码器"],
    16: ["Flac音频编码器"],
    17: ["RM音频编码器"],
    18: ["AMR音频编码器"],
}

F1 = ["保持原帧速率", "10.00", "13.00", "15.00", "18.00", "20.00", "23.00", "23.97", "24.00",
      "25.00", "29.97", "30.00"]
F6 = ["保持原帧速率", "10.00", "13.00", "15.00", "18.00", "20.00", "23.00", "23.97", "24.00",
      "25.00", "30.00"]

KEEP = None  # "保持原分辨率" / "保持原帧速率"


@dataclass
class Format:
    id: int
    ext: str
    venc: list  # the video encoder list, [] for the audio formats
    vdef: str
    size: str  # "WxH" or KEEP
    rate: str  # caption or KEEP
    aenc: list
    adef: str
    sample_rate: object  # int or "AUTO"
    channels: list = field(default_factory=lambda: ["立体声", "单声道"])
    rates: list = field(default_factory=list)  # the frame-rate list, for MPEG-1/2 alternatives
    container: str = ""  # forced container ("mov")

    @property
    def audio_only(self):
        return not self.venc


def _video(id, ext, e, vdef, size, rate, a, adef, sr, **kw):
    return Format(id, ext, E[e], vdef, size, rate, A[a], adef, sr, **kw)


def _audio(id, ext, a, adef, sr, channels=None):
    return Format(id, ext, [], "", KEEP, KEEP, A[a], adef, sr,
                  channels=channels or ["立体声", "单声道"])


FORMATS = [
    _video(500, "mpg", 1, "PAL_VCD视频压缩器", "320x240", "25.00", 1, "MP3音频编码器", 48000),
    _video(501, "mpg", 1, "NTSC_VCD视频压缩器", "320x240", "25.00", 1, "MP3音频编码器", 48000),
    _video(502, "mpg", 2, "PAL_SVCD视频压缩器", "480x480", "25.00", 1, "MP3音频编码器", 48000),
    _video(503, "mpg", 2, "NTSC_SVCD视频压缩器", "480x480", "25.00", 1, "MP3音频编码器", 48000),
    _video(504, "vob", 3, "VOB视频压缩器", "1280x1024", "29.97", 2, "VOB音频编码器", 44100,
           rates=F1),
    _video(505, "mpg", 4, "PAL_DVD视频压缩器", "720x480", "25.00", 1, "MP3音频编码器", 44100),
    _video(506, "mp4", 5, "H264/AVC高清视频压缩器", "1024x768", "25", 3, "AAC音频编码器", 44100),
    _video(507, "mp4", 5, "H264/AVC高清视频压缩器", "1280x720", "29.97", 3, "AAC音频编码器", 44100),
    _video(508, "mp4", 5, "H264/AVC高清视频压缩器", "1920x1080", "30", 3, "AAC音频编码器", 44100),
    _video(509, "mp4", 6, "MPEG4视频压缩器", "1920x1080", "29.97", 4, "AAC音频编码器", 48000),
    _video(510, "mp4", 7, "H264/AVC高清视频压缩器", "1920x1080", "30.00", 4, "AAC音频编码器", 24000),
    _video(511, "mp4", 5, "MPEG4视频压缩器", "704x480", "25", 1, "MP3音频编码器", 44100),
    _video(512, "mp4", 5, "MPEG4视频压缩器", KEEP, "30", 1, "MP3音频编码器", 44100),
    _video(513, "mp4", 5, "H264/AVC高清视频压缩器", "1920x1080", "30", 3, "AAC音频编码器", 44100),
    _video(514, "mp4", 5, "MPEG4视频压缩器", KEEP, "30", 1, "MP3音频编码器", 44100),
    _video(515, "mkv", 6, "H264/AVC高清视频压缩器", "1920x1080", KEEP, 3, "AAC音频编码器", 22050),
    _video(516, "avi", 8, "XviD 视频压缩器1", "1280x1024", "30.00", 1, "MP3音频编码器", 44100),
    _video(517, "avi", 8, "Divx 5 视频压缩器", "1920x1080", "29.97", 3, "AAC音频编码器", 44100),
    _video(518, "mov", 9, "QuickTime视频压缩器", KEEP, KEEP, 5, "AAC音频编码器", 22050,
           container="mov"),
    _video(519, "flv", 10, "FLV格式视频压缩器", "320x240", "25.00", 1, "MP3音频编码器", 22050),
    _video(520, "swf", 11, "FLASH格式视频压缩器", "320x240", "25.00", 1, "MP3音频编码器", 22050),
    _video(521, "mpg", 12, "MPEG视频压缩器", KEEP, "25.00", 6, "MP2音频编码器", 44100, rates=F1),
    _video(100, "avi", 13, "Divx 5 视频压缩器", KEEP, "25.00", 3, "AAC音频编码器", 44100),
    _video(101, "avi", 8, "H264/AVC高清视频压缩器", KEEP, KEEP, 3, "AAC音频编码器", 48000),
    _video(102, "mp4", 5, "MPEG4视频压缩器", "704x480", "25", 1, "MP3音频编码器", 44100),
    _video(103, "avi", 13, "MPEG4 视频压缩器", KEEP, "25.00", 1, "MP3音频编码器", 44100),
    _video(104, "mp4", 5, "MPEG4视频压缩器", "1024x768", "25", 1, "AAC音频编码器", 44100),
    _video(105, "mp4", 5, "MPEG4视频压缩器", "1920x1080", "29.97", 1, "MP3音频编码器", 44100),
    _video(106, "mov", 9, "QuickTime视频压缩器", KEEP, KEEP, 5, "AAC音频编码器", 22050,
           container="mov"),
    _video(107, "mkv", 6, "MPEG4视频压缩器", KEEP, KEEP, 1, "AAC音频编码器", 22050),
    _video(108, "avi", 8, "H264/AVC高清视频压缩器", KEEP, KEEP, 1, "AAC音频编码器", 44100),
    _video(109, "mp4", 5, "MPEG4视频压缩器", KEEP, "25", 1, "MP3音频编码器", 44100),
    _video(110, "avi", 8, "XviD 视频压缩器1", "1280x1024", "30.00", 1, "MP3音频编码器", 44100),
    _video(111, "mp4", 5, "H264/AVC高清视频压缩器", "1024x768", "25", 3, "AAC音频编码器", 44100),
    _video(112, "mp4", 5, "MPEG4视频压缩器", "1024x768", "25", 1, "MP3音频编码器", 44100),
    _video(113, "mp4", 5, "H264/AVC高清视频压缩器", "1920x1080", "30", 3, "AAC音频编码器", 44100),
    _video(114, "avi", 8, "Divx 5 视频压缩器", "1920x1080", "29.97", 3, "AAC音频编码器", 44100),
    _video(115, "avi", 8, "MPEG4 视频压缩器", "4096x3112", "29.97", 3, "AAC音频编码器", 44100),
    _video(116, "mp4", 5, "MPEG4视频压缩器", KEEP, "25", 1, "MP3音频编码器", 44100),
    _video(117, "mkv", 6, "H264/AVC高清视频压缩器", "1920x1080", KEEP, 3, "AAC音频编码器", 22050),
    _video(118, "mp4", 5, "XviD 视频压缩器1", "1024x768", "29.97", 1, "AAC音频编码器", 44100),
    _video(119, "avi", 14, "XviD 视频压缩器2", "1280x1024", "29.97", 1, "MP3音频编码器", 44100),
] + [
    _video(i, "avi", 15, "Divx 5 视频压缩器", "320x240", "25.00", 1, "MP3音频编码器", 44100)
    for i in (1, 2, 3)
] + [
    _video(4, "mp4", 7, "MPEG4视频压缩器", "320x240", "29.97", 4, "AAC音频编码器", 24000),
    _video(5, "mp4", 16, "MPEG4视频压缩器", "720x480", "29.97", 4, "AAC音频编码器", 48000),
] + [
    _video(i, "mp4", 6, "MPEG4视频压缩器", "320x240", "25", 4, "AAC音频编码器", 48000)
    for i in (6, 7, 8, 9)
] + [
    _video(10, "mp4", 6, "MPEG4视频压缩器", "320x240", "25", 1, "MP3音频编码器", 44100),
    _video(11, "mp4", 6, "H264/AVC高清视频压缩器", "320x240", "25", 1, "MP3音频编码器", 48000),
    _video(12, "mp4", 6, "MPEG4视频压缩器", "320x240", "25", 1, "MP3音频编码器", 44100),
    _video(13, "swf", 11, "FLASH格式视频压缩器", "320x240", "25.00", 1, "MP3音频编码器", 22050),
    _video(14, "flv", 10, "FLV格式视频压缩器", "320x240", "25.00", 1, "MP3音频编码器", 22050),
    _video(15, "rm", 17, "RM视频压缩器1", KEEP, KEEP, 7, "自动音频编码器", "AUTO"),
    _video(16, "mkv", 6, "MPEG4视频压缩器", "320x240", "25.00", 1, "MP3音频编码器", 22050),
    _video(17, "mov", 9, "QuickTime视频压缩器", "320x240", "25.00", 3, "AAC音频编码器", 22050,
           container="mov"),
    _video(18, "mpg", 12, "MPEG视频压缩器", "320x240", "25.00", 6, "MP2音频编码器", 44100, rates=F6),
    _video(19, "mpg", 4, "PAL_DVD视频压缩器", "720x480", "25.00", 1, "MP3音频编码器", 44100),
    _video(20, "mpg", 2, "PAL_SVCD视频压缩器", "480x480", "25.00", 1, "MP3音频编码器", 48000),
    _video(21, "mpg", 1, "PAL_VCD视频压缩器", "320x240", "25.00", 1, "MP3音频编码器", 48000),
    _video(22, "wmv", 18, "WMV视频压缩器", "320x240", "25.00", 8, "WMV音频编码器", 48000),
    _video(23, "asf", 19, "ASF视频压缩器", "320x240", "25.00", 9, "ASF音频编码器1", 48000),
    _video(24, "avi", 20, "Mjpeg 视频压缩器", "320x240", KEEP, 10, "MP3音频编码器", 44100),
    _audio(200, "mp3", 10, "MP3音频编码器", 48000),
    _audio(201, "wma", 11, "WMA音频编码器", 48000),
    _audio(202, "wav", 12, "WAVE音频编码器", 48000),
    _audio(203, "m4a", 4, "AAC音频编码器", 48000),
    _audio(204, "ac3", 13, "AC3音频编码器", 48000),
    _audio(205, "ogg", 14, "OGG音频编码器", 48000),
    _audio(206, "mp2", 15, "MP2音频编码器", 44100),
    _audio(207, "flac", 16, "Flac音频编码器", 48000),
    _audio(208, "rm", 17, "RM音频编码器", 48000),
    _audio(209, "amr", 18, "AMR音频编码器", 8000, channels=["单声道"]),
]
FORMAT_BY_ID = {f.id: f for f in FORMATS}
assert len(FORMATS) == 76

# Disc targets: the format's video encoder caption names target and norm; the
# target decides size, rate, sample rate and codecs. VCD and SVCD carry MP2
# sound, DVD AC-3.
DISC = {
    "VCD": dict(video="mpeg1video", audio="mp2", sample_rate=44100,
                size={"PAL": (352, 288), "NTSC": (352, 240)}),
    "SVCD": dict(video="mpeg2video", audio="mp2", sample_rate=44100,
                 size={"PAL": (480, 576), "NTSC": (480, 480)}),
    "DVD": dict(video="mpeg2video", audio="ac3", sample_rate=48000,
                size={"PAL": (720, 576), "NTSC": (720, 480)}),
}
NORM_RATE = {"PAL": Fraction(25), "NTSC": Fraction(30000, 1001)}


def disc_of(caption):
    m = re.match(r"(PAL|NTSC)_(VCD|SVCD|DVD)视频压缩器$", caption)
    return (m.group(2), m.group(1)) if m else None


# Video encoder caption -> (encoder given to ffmpeg, codec name ffprobe reports);
# None: the container's default.
VIDEO_CODEC = {
    "Divx 5 视频压缩器": ("mpeg4", "mpeg4"),
    "MPEG4 视频压缩器": ("mpeg4", "mpeg4"),
    "MPEG4视频压缩器": ("mpeg4", "mpeg4"),
    "XviD 视频压缩器1": ("mpeg4", "mpeg4"),
    "XviD 视频压缩器2": ("libxvid", "mpeg4"),
    "Divx 视频压缩器": ("msmpeg4", "msmpeg4v3"),
    "Mjpeg 视频压缩器": ("mjpeg", "mjpeg"),
    "H264/AVC高清视频压缩器": ("libx264", "h264"),
    "RM视频压缩器1": ("rv10", "rv10"),
    "RM视频压缩器2": ("rv20", "rv20"),
    "WMV视频压缩器": ("wmv2", "wmv2"),
    "ASF视频压缩器": ("msmpeg4", "msmpeg4v3"),
    "MPEG视频压缩器": ("mpeg1video", "mpeg1video"),
}
AUDIO_CODEC = {
    "MP3音频编码器": ("libmp3lame", "mp3"),
    "Flac音频编码器": ("flac", "flac"),
    "AAC音频编码器": ("aac", "aac"),
    "AC3音频编码器": ("ac3", "ac3"),
    "WMV音频编码器": ("wmav2", "wmav2"),
    "WMA音频编码器": ("wmav2", "wmav2"),
    "ASF音频编码器1": ("wmav2", "wmav2"),
    "ASF音频编码器2": ("wmav1", "wmav1"),
    "OGG音频编码器": ("libvorbis", "vorbis"),
    "AMR音频编码器": ("libopencore_amrnb", "amr_nb"),
}

# Container by extension: ffprobe's format name, ffmpeg's muxer, and the
# muxer's default video and audio encoders (for the captions that name none).
MOV = "mov,mp4,m4a,3gp,3g2,mj2"
CONTAINER = {
    "mpg": (("mpeg",), "mpeg", ("mpeg1video", "mpeg1video"), ("mp2", "mp2")),
    "vob": (("mpeg",), "vob", ("mpeg2video", "mpeg2video"), ("mp2", "mp2")),
    "mp4": ((MOV,), "mp4", ("libx264", "h264"), ("aac", "aac")),
    "mov": ((MOV,), "mov", ("libx264", "h264"), ("aac", "aac")),
    "m4a": ((MOV,), "ipod", None, ("aac", "aac")),
    "mkv": (("matroska,webm",), "matroska", ("libx264", "h264"), ("libvorbis", "vorbis")),
    "avi": (("avi",), "avi", ("mpeg4", "mpeg4"), ("libmp3lame", "mp3")),
    "flv": (("flv",), "flv", ("flv", "flv1"), ("libmp3lame", "mp3")),
    "swf": (("swf",), "swf", ("flv", "flv1"), ("libmp3lame", "mp3")),
    "rm": (("rm",), "rm", ("rv10", "rv10"), ("ac3", "ac3")),
    "wmv": (("asf",), "asf", ("msmpeg4", "msmpeg4v3"), ("wmav2", "wmav2")),
    "asf": (("asf",), "asf", ("msmpeg4", "msmpeg4v3"), ("wmav2", "wmav2")),
    "wma": (("asf",), "asf", None, ("wmav2", "wmav2")),
    "mp3": (("mp3",), "mp3", None, ("libmp3lame", "mp3")),
    "wav": (("wav",), "wav", None, ("pcm_s16le", "pcm_s16le")),
    "ac3": (("ac3",), "ac3", None, ("ac3", "ac3")),
    "ogg": (("ogg",), "ogg", None, ("libvorbis", "vorbis")),
    "mp2": (("mp3", "mp2"), "mp2", None, ("mp2", "mp2")),
    "flac": (("flac",), "flac", None, ("flac", "flac")),
    "amr": (("amr",), "amr", None, ("libopencore_amrnb", "amr_nb")),
}

# The sample rates an encoder takes, where it takes only some ("自动音频采样率"
# keeps the source's rate when the encoder takes it).
ENCODER_RATES = {
    "ac3": (48000, 44100, 32000),
    "mp2": (44100, 48000, 32000, 22050, 24000, 16000),
    "libmp3lame": (44100, 48000, 32000, 22050, 24000, 16000, 11025, 12000, 8000),
}

H264_PROFILES = {"Constrained Baseline", "Baseline", "Main", "High"}
MPEG_RATES = [Fraction(24000, 1001), Fraction(24), Fraction(25), Fraction(30000, 1001),
              Fraction(30), Fraction(50), Fraction(60000, 1001), Fraction(60)]


def rate_of(caption):
    # "29.97" and "23.97"/"23.98" name the NTSC rates.
    special = {"29.97": Fraction(30000, 1001), "23.97": Fraction(24000, 1001),
               "23.98": Fraction(24000, 1001)}
    return special.get(caption, Fraction(caption))


def snapped(rate):
    return min(MPEG_RATES, key=lambda r: abs(float(r) - float(rate)))


# ---------------------------------------------------------------------------
# Source shapes.

@dataclass
class Shape:
    name: str
    what: str
    file: str  # file name in the work folder
    make: list  # ffmpeg argument lists run in order (each ends with its output)
    video: tuple = None  # (coded width, coded height, SAR, rotation, rate) or None
    audio: tuple = None  # (sample rate, channels) of the stream a conversion maps, or None
    seconds: float = 2

    def display_shape(self):
        w, h, sar, rotation, _ = self.video
        shape = Fraction(w) * sar / h
        return 1 / shape if rotation % 180 else shape

    def kept_sizes(self):
        """Frame sizes that keep the source's size: coded, square-pixel, turned upright."""
        w, h, sar, rotation, _ = self.video
        sizes = {(w, h), (round(w * sar), h), (w, round(h / sar))}
        if rotation % 180:
            sizes |= {(b, a) for a, b in sizes}
        return sizes


BRIGHT = "lutyuv=y=96+val*0.6"  # no black in the picture, so cropdetect finds only bars


def _picture(size, rate, seconds):
    return ["-f", "lavfi", "-i", f"testsrc2=size={size}:rate={rate},{BRIGHT}", "-t", str(seconds)]


def _tone(rate, seconds, layout="mono", freq=440):
    src = ["-f", "lavfi", "-i", f"sine=frequency={freq}:sample_rate={rate}", "-t", str(seconds)]
    return src, layout


def _pan(layout, count):
    return f"pan={layout}|" + "|".join(f"c{i}=c0" for i in range(count))


def shapes(seconds):
    s = seconds
    h264 = ["-c:v", "libx264", "-preset", "veryfast", "-pix_fmt", "yuv420p"]
    out = []

    def add(name, what, file, make, video=None, audio=None):
        out.append(Shape(name, what, file, make, video, audio))

    one = Fraction(1)
    add("640x360", "640×360 H.264 + AAC stereo 44.1 kHz, MP4", "s640x360.mp4",
        [_picture("640x360", 25, s) + ["-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100",
                                         "-t", str(s), "-ac", "2"] + h264 + ["-c:a", "aac"]],
        (640, 360, one, 0, Fraction(25)), (44100, 2))
    add("641x359", "641×359 MPEG-4 + MP3 stereo, AVI", "s641x359.avi",
        [["-f", "lavfi", "-i", f"testsrc2=size=642x360:rate=25,{BRIGHT},format=yuv444p,crop=641:359:0:0",
          "-t", str(s), "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100", "-t", str(s),
          "-ac", "2", "-c:v", "mpeg4", "-q:v", "4", "-pix_fmt", "yuv420p", "-c:a", "libmp3lame"]],
        (641, 359, one, 0, Fraction(25)), (44100, 2))
    add("portrait", "1080×1920 portrait H.264 + AAC 48 kHz, 30 fps, MP4", "portrait.mp4",
        [_picture("1080x1920", 30, s) + ["-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000",
                                           "-t", str(s), "-ac", "2"] + h264 + ["-c:a", "aac"]],
        (1080, 1920, one, 0, Fraction(30)), (48000, 2))
    add("pal-sar", "720×576 H.264, sample aspect 64:45 only in the container, AC-3 stereo, MKV",
        "pal_sar.mkv",
        [_picture("720x576", 25, s) + ["-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000",
                                         "-t", str(s), "-ac", "2"] + h264 + ["-c:a", "ac3", "pal_sar_tmp.mp4"],
         ["-i", "pal_sar_tmp.mp4", "-c", "copy", "-aspect", "16:9"]],
        (720, 576, Fraction(64, 45), 0, Fraction(25)), (48000, 2))
    add("rotated", "1280×720 H.264 with rotation 90 (a phone clip), AAC, 30 fps, MP4", "rotated.mp4",
        [_picture("1280x720", 30, s) + ["-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000",
                                          "-t", str(s), "-ac", "2"] + h264 + ["-c:a", "aac", "rotated_tmp.mp4"],
         ["-i", "rotated_tmp.mp4", "-c", "copy", "-metadata:s:v:0", "rotate=90"]],
        (1280, 720, one, 90, Fraction(30)), (48000, 2))
    add("ac3-5.1", "640×480 H.264 + 5.1 AC-3 48 kHz, 29.97 fps, MKV", "ac3_51.mkv",
        [_picture("640x480", "30000/1001", s) + ["-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000",
                                                   "-t", str(s), "-af", _pan("5.1", 6)]
         + h264 + ["-c:a", "ac3"]],
        (640, 480, one, 0, Fraction(30000, 1001)), (48000, 6))
    add("7.1", "640×360 H.264 + 7.1 AAC 48 kHz, MKV", "aac_71.mkv",
        [_picture("640x360", 25, s) + ["-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000",
                                         "-t", str(s), "-af", _pan("7.1", 8)] + h264 + ["-c:a", "aac"]],
        (640, 360, one, 0, Fraction(25)), (48000, 8))
    add("mono-22k", "320×240 MPEG-4 15 fps + MP3 mono 22.05 kHz, AVI", "mono22k.avi",
        [_picture("320x240", 15, s) + ["-f", "lavfi", "-i", "sine=frequency=440:sample_rate=22050",
                                         "-t", str(s), "-ac", "1", "-c:v", "mpeg4", "-q:v", "4",
                                         "-c:a", "libmp3lame"]],
        (320, 240, one, 0, Fraction(15)), (22050, 1))
    add("commentary", "640×360 H.264 + 5.1 AC-3 48 kHz main + mono AAC 22.05 kHz commentary, MKV",
        "commentary.mkv",
        [_picture("640x360", 25, s) + ["-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000",
                                         "-t", str(s), "-f", "lavfi", "-i",
                                         "sine=frequency=880:sample_rate=22050", "-t", str(s),
                                         "-filter_complex", f"[1:a]{_pan('5.1', 6)}[main]",
                                         "-map", "0:v", "-map", "[main]", "-map", "2:a"]
         + h264 + ["-c:a:0", "ac3", "-c:a:1", "aac", "-ac:a:1", "1"]],
        (640, 360, one, 0, Fraction(25)), (48000, 6))
    add("422-10bit", "640×360 H.264 High 4:2:2 10-bit + AAC, MKV", "p422_10.mkv",
        [_picture("640x360", 25, s) + ["-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000",
                                         "-t", str(s), "-ac", "2", "-c:v", "libx264", "-preset", "veryfast",
                                         "-pix_fmt", "yuv422p10le", "-c:a", "aac"]],
        (640, 360, one, 0, Fraction(25)), (48000, 2))
    add("video-only", "640×360 H.264 without sound, MP4", "video_only.mp4",
        [_picture("640x360", 25, s) + h264],
        (640, 360, one, 0, Fraction(25)), None)
    add("audio-only", "MP3 stereo 44.1 kHz, no picture", "audio_only.mp3",
        [["-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100", "-t", str(s), "-ac", "2",
          "-c:a", "libmp3lame"]],
        None, (44100, 2))
    return out


def make_sources(shape_list, work):
    for shape in shape_list:
        for step, args in enumerate(shape.make):
            target = [] if args[-1].endswith("_tmp.mp4") else [shape.file]
            cmd = ["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y"] + args + target
            r = subprocess.run(cmd, cwd=work, capture_output=True, text=True)
            if r.returncode != 0:
                sys.exit(f"cannot make source {shape.name}: {r.stderr.strip()}")
        shape.file = os.path.join(work, shape.file)


# ---------------------------------------------------------------------------
# Cells and their expectations.

@dataclass
class Cell:
    shape: Shape
    fmt: Format
    choices: dict  # option -> caption, beyond the defaults
    label: str = ""

    @property
    def name(self):
        return f"{self.shape.name} {self.fmt.id}" + (f" {self.label}" if self.label else "")


@dataclass
class Expect:
    formats: tuple
    muxer: str
    video: tuple = None  # (ffmpeg encoder, ffprobe codec) or None
    audio: tuple = None
    size: tuple = None  # (w, h) or None (kept)
    size_rule: int = 2  # kept sizes are rounded to multiples of this
    max_macroblocks: int = 0  # a larger kept size is scaled down to fit, shape kept
    rate: Fraction = None
    sample_rate: object = None
    channels: int = None
    audio_bitrate: int = 128000
    fails: bool = False  # nothing to convert: the task must fail


def expect(cell):
    f, shape, c = cell.fmt, cell.shape, cell.choices
    formats, muxer, cvideo, caudio = CONTAINER[f.ext]
    vcap = c.get("--video-encoder", f.vdef)
    acap = c.get("--audio-encoder", f.adef)
    chcap = c.get("--channels", f.channels[0])
    x = Expect(formats, f.container or muxer)
    x.channels = 1 if chcap == "单声道" else 2
    x.sample_rate = f.sample_rate
    disc = disc_of(vcap) if not f.audio_only else None
    has_video = shape.video is not None and not f.audio_only
    has_audio = shape.audio is not None
    if not has_video and not has_audio:
        x.fails = True
        return x
    if has_video:
        x.video = VIDEO_CODEC.get(vcap, cvideo) if not disc else None
        size = c.get("--frame-size", f.size)
        rate = c.get("--frame-rate", f.rate)
        # Picking another encoder in formats 100 and 101 replaces the size
        # list and selects "176*144".
        if f.id in (100, 101) and "--video-encoder" in c and vcap in (
                "Divx 视频压缩器", "XviD 视频压缩器1", "XviD 视频压缩器2", "Divx 5 视频压缩器"):
            size = "176x144"
        x.size = tuple(int(v) for v in size.split("x")) if size else None
        x.rate = rate_of(rate) if rate and rate != "保持原帧速率" else shape.video[4]
        if disc:
            target, norm = disc
            d = DISC[target]
            x.video = (d["video"], d["video"])
            x.size = d["size"][norm]
            x.rate = NORM_RATE[norm]
        if x.video[1] in ("mpeg1video", "mpeg2video"):
            x.rate = snapped(x.rate)
        if x.video[1] in ("rv10", "rv20"):
            # rv10 takes sizes in multiples of 16, rv20 in multiples of 4 (ffmpeg
            # writes 640x360 rv20 and refuses 642x362).
            x.size_rule = 16 if x.video[1] == "rv10" else 4
            # The RealVideo encoders write the macroblock count in 12 bits and
            # refuse frames of 4096 macroblocks or more (1088x1920 is 8160).
            x.max_macroblocks = 4095
    if has_audio:
        x.audio = AUDIO_CODEC.get(acap, caudio)
        if disc:
            d = DISC[disc[0]]
            x.audio = (d["audio"], d["audio"])
            x.sample_rate = d["sample_rate"]
        if x.sample_rate == "AUTO":
            source_rate = shape.audio[0]
            rates = ENCODER_RATES.get(x.audio[0])
            x.sample_rate = source_rate if not rates or source_rate in rates else rates
        else:
            # A format rate the encoder cannot take (AC-3 has only 32, 44.1 and
            # 48 kHz; ffmpeg refuses 22050 outright) becomes its nearest rate.
            rates = ENCODER_RATES.get(x.audio[0])
            if rates and isinstance(x.sample_rate, int) and x.sample_rate not in rates:
                x.sample_rate = min(rates, key=lambda r: abs(r - x.sample_rate))
    return x


def cells_for(shape_list, format_list, alt_shape, alt_formats):
    cells = [Cell(s, f, {}) for s in shape_list for f in format_list]
    if alt_shape is None:
        return cells
    for f in alt_formats:
        for cap in f.venc:
            if cap != f.vdef:
                cells.append(Cell(alt_shape, f, {"--video-encoder": cap}, f"video={cap}"))
        for cap in f.aenc:
            if cap != f.adef:
                cells.append(Cell(alt_shape, f, {"--audio-encoder": cap}, f"audio={cap}"))
        for cap in f.channels:
            if cap != f.channels[0]:
                cells.append(Cell(alt_shape, f, {"--channels": cap}, f"channels={cap}"))
        for cap in f.rates:
            if cap not in (f.rate, "保持原帧速率"):
                cells.append(Cell(alt_shape, f, {"--frame-rate": cap}, f"rate={cap}"))
    return cells


# One source per rule of the conversion fixes: channels, disc targets, pixel
# formats, the mapped stream, encoder size rules, MPEG rates, shape and
# rotation, refusals, failures of files with nothing to convert.
CI_CELLS = [
    ("ac3-5.1", 200, {}), ("ac3-5.1", 502, {"--channels": "单声道"}),
    ("7.1", 19, {"--audio-encoder": "AC3音频编码器"}),
    ("640x360", 500, {}), ("640x360", 505, {}), ("640x360", 20, {}),
    ("422-10bit", 101, {}), ("422-10bit", 24, {}),
    ("commentary", 15, {}),
    ("641x359", 15, {}), ("641x359", 512, {}),
    ("640x360", 18, {"--frame-rate": "10.00"}),
    ("pal-sar", 514, {}), ("rotated", 506, {}), ("portrait", 21, {}),
    ("640x360", 506, {"--audio-encoder": "Flac音频编码器"}),
    ("640x360", 520, {"--audio-encoder": "AAC音频编码器"}),
    ("video-only", 200, {}), ("audio-only", 506, {}),
]


# ---------------------------------------------------------------------------
# Running and checking.

def run(cmd, timeout=600, cwd=None):
    try:
        r = subprocess.run(cmd, capture_output=True, text=True, timeout=timeout, cwd=cwd,
                           errors="replace")
        return r.returncode, r.stdout, r.stderr
    except subprocess.TimeoutExpired:
        return -1, "", f"timed out after {timeout} s"
    except OSError as e:
        return -1, "", f"cannot run {cmd[0]}: {e}"


def probe(path):
    code, out, err = run(["ffprobe", "-v", "error", "-show_format", "-show_streams",
                          "-of", "json", path])
    if code != 0:
        return None, err.strip().splitlines()[-1] if err.strip() else f"ffprobe exit {code}"
    return json.loads(out), ""


def rotation(stream):
    for side in stream.get("side_data_list", []):
        if "rotation" in side:
            return int(side["rotation"])
    return int(stream.get("tags", {}).get("rotate", 0))


def fraction(text, default=None):
    try:
        num, den = (int(v) for v in text.split(":" if ":" in text else "/"))
        return Fraction(num, den) if num > 0 and den > 0 else default
    except (ValueError, AttributeError):
        return default


def decode(path, video):
    """Decodes every stream: (picture width and height without black bars or
    None, seconds decoded, pictures decoded, error text)."""
    cmd = ["ffmpeg", "-nostdin", "-hide_banner", "-i", path, "-map", "0"]
    if video:
        cmd += ["-vf", "cropdetect=limit=0.12:round=2:reset=0"]
    code, _, err = run(cmd + ["-f", "null", "-"])
    if code != 0:
        return None, None, 0, "does not decode: " + (err.strip().splitlines() or ["?"])[-1]
    times = re.findall(r"time=(\d+):(\d+):(\d+\.\d+)", err)
    seconds = (int(times[-1][0]) * 3600 + int(times[-1][1]) * 60 + float(times[-1][2])
               if times else None)
    frames = re.findall(r"frame=\s*(\d+)", err)
    pictures = int(frames[-1]) if frames else 0
    crops = re.findall(r"crop=(\d+):(\d+):(\d+):(\d+)", err)
    if video and not crops:
        return None, seconds, pictures, "cropdetect found no picture"
    picture = tuple(int(v) for v in crops[-1][:2]) if crops else None
    return picture, seconds, pictures, ""


def key_frame_picture(path):
    """Picture width and height without black bars, measured on key frames only."""
    code, _, err = run(["ffmpeg", "-nostdin", "-hide_banner", "-skip_frame", "nokey", "-i", path,
                        "-map", "0:v:0", "-vf", "cropdetect=limit=0.12:round=2:reset=0",
                        "-f", "null", "-"])
    crops = re.findall(r"crop=(\d+):(\d+):(\d+):(\d+)", err) if code == 0 else []
    return tuple(int(v) for v in crops[-1][:2]) if crops else None


def fitted(w, h, max_macroblocks):
    """(w, h) scaled down, shape kept, to at most max_macroblocks 16x16 blocks."""
    blocks = -(-w // 16) * -(-h // 16)
    if blocks <= max_macroblocks:
        return w, h
    scale = (max_macroblocks / blocks) ** 0.5
    return round(w * scale), round(h * scale)


def near(actual, expected, tolerance):
    return abs(actual - expected) <= tolerance * abs(expected)


def check_output(cell, x, path, log):
    problems = []
    info, err = probe(path)
    if info is None:
        return [f"ffprobe cannot open it: {err}"]
    fmt_name = info.get("format", {}).get("format_name", "")
    if fmt_name not in x.formats:
        problems.append(f"container {fmt_name}, expected {x.formats[0]}")
    streams = info.get("streams", [])
    videos = [s for s in streams if s.get("codec_type") == "video"
              and not s.get("disposition", {}).get("attached_pic")]
    audios = [s for s in streams if s.get("codec_type") == "audio"]
    source_duration = cell.shape.seconds
    picture, decoded, pictures, decode_error = decode(path, x.video is not None and bool(videos))
    if decode_error:
        problems.append(decode_error)
    # Containers without a stated length (SWF) are measured by decoding.
    duration = float(info.get("format", {}).get("duration", "nan"))
    if duration != duration and decoded is not None:
        duration = decoded
    # Lengths off by more than 0.2 s: (which, seconds, problem), judged at the end.
    lengths = []
    if not abs(duration - source_duration) <= 0.2:
        lengths.append(("format", duration,
                        f"duration {duration:.2f} s, expected {source_duration:.2f} ± 0.2"))

    if x.video is None and videos:
        problems.append(f"{len(videos)} video streams, expected none")
    elif x.video is not None and len(videos) != 1:
        problems.append(f"{len(videos)} video streams, expected 1")
    elif x.video is not None:
        v = videos[0]
        if v.get("codec_name") != x.video[1]:
            problems.append(f"video codec {v.get('codec_name')}, expected {x.video[1]}")
        pix = v.get("pix_fmt", "")
        allowed = ("yuvj420p", "yuv420p") if x.video[1] == "mjpeg" else ("yuv420p",)
        if pix not in allowed:
            problems.append(f"pixel format {pix}, expected {allowed[0]}")
        if x.video[1] == "h264" and v.get("profile") not in H264_PROFILES:
            problems.append(f"H.264 profile {v.get('profile')}")
        w, h = int(v.get("width", 0)), int(v.get("height", 0))
        if x.size is not None:
            if (w, h) != x.size:
                problems.append(f"size {w}x{h}, expected {x.size[0]}x{x.size[1]}")
        else:
            slack = max(x.size_rule, 2)
            kept_sizes = cell.shape.kept_sizes()
            if x.max_macroblocks:
                kept_sizes = {fitted(a, b, x.max_macroblocks) for a, b in kept_sizes}
                slack *= 2  # each side rounds down to the size rule after scaling
                if -(-w // 16) * -(-h // 16) > x.max_macroblocks:
                    problems.append(f"size {w}x{h} over {x.max_macroblocks} macroblocks")
            if not any(abs(w - a) < slack and abs(h - b) < slack for a, b in kept_sizes):
                kept = " or ".join(f"{a}x{b}" for a, b in sorted(kept_sizes))
                problems.append(f"size {w}x{h}, expected the source's {kept}")
        if x.size_rule > 2 and (w % x.size_rule or h % x.size_rule):
            problems.append(f"size {w}x{h} not a multiple of {x.size_rule}")
        # The stated rate, or where a container rounds it (RealMedia keeps
        # whole frames per second) the pictures decoded per second.
        rate = fraction(v.get("avg_frame_rate", "")) or fraction(v.get("r_frame_rate", ""))
        sd = v.get("duration")
        counted = pictures / float(sd or duration) if pictures and (sd or duration) else None
        if not any(r is not None and near(float(r), float(x.rate), 0.02) for r in (rate, counted)):
            shown = f"{float(rate):.3f}" if rate else v.get("avg_frame_rate")
            problems.append(f"frame rate {shown}, expected {float(x.rate):.3f}")
        if sd is not None and not abs(float(sd) - source_duration) <= 0.2:
            lengths.append(("video", float(sd), f"video stream lasts {float(sd):.2f} s"))
        if picture is not None:
            sar = fraction(v.get("sample_aspect_ratio", ""), Fraction(1))
            expected = cell.shape.display_shape()

            def shape_problem(picture):
                shape = Fraction(picture[0]) * sar / picture[1]
                if rotation(v) % 180:
                    shape = 1 / shape
                # 1 % of the shape, plus a pixel of edge uncertainty on each side
                # of the measured picture.
                slack = 0.01 + 2.0 / min(picture)
                if near(float(shape), float(expected), slack):
                    return ""
                return (f"picture {picture[0]}x{picture[1]} with sample aspect {sar} "
                        f"shows {float(shape):.3f}:1, source {float(expected):.3f}:1")

            problem = shape_problem(picture)
            # An encoder starved of bits lets the black bars of its predicted
            # pictures drift towards grey (msmpeg4 at 1600 kb/s in 1920x1080
            # lifts them from Y 16 to 32; Debian's ffmpeg with the same encoder,
            # filters and rate gives the same frames), and the bars then read
            # as picture. The bars are placed by the filters, the same for
            # every picture, so the key frames, coded whole, show the geometry.
            if problem:
                key = key_frame_picture(path)
                if key is not None and not shape_problem(key):
                    problem = ""
            if problem:
                problems.append(problem)

    if x.audio is None and audios:
        problems.append(f"{len(audios)} audio streams, expected none")
    elif x.audio is not None and len(audios) != 1:
        problems.append(f"{len(audios)} audio streams, expected 1")
    elif x.audio is not None:
        a = audios[0]
        if a.get("codec_name") != x.audio[1]:
            problems.append(f"audio codec {a.get('codec_name')}, expected {x.audio[1]}")
        if int(a.get("channels", 0)) != x.channels:
            problems.append(f"{a.get('channels')} channels, expected {x.channels}")
        sr = int(a.get("sample_rate", 0))
        wanted = x.sample_rate if isinstance(x.sample_rate, tuple) else (x.sample_rate,)
        if sr not in wanted:
            problems.append(f"sample rate {sr}, expected {' or '.join(map(str, wanted))}")
        sd = a.get("duration")
        if sd is not None and not abs(float(sd) - source_duration) <= 0.2:
            lengths.append(("audio", float(sd), f"audio stream lasts {float(sd):.2f} s"))
    # A container that counts a stream's length in whole encoder frames states
    # more than the samples last: AVI indexes FLAC by 4608-sample chunk, and the
    # muxer's shift of the timestamps past H.264's negative decoding times
    # (0.067 s, not a whole chunk) leaves an empty chunk after the first, so the
    # sound of a 2.016 s source is stated as 2.208 s although every sample is
    # there. Such a length passes only when Debian's ffmpeg, writing the same
    # encoders into the same container from the same source, states the same.
    if lengths:
        theirs = oracle_lengths(cell, x, os.path.dirname(path))
        for which, ours, problem in lengths:
            other = theirs.get(which)
            if other is None or abs(other - ours) > 0.02:
                shown = f"{other:.2f} s" if other is not None else "nothing"
                problems.append(f"{problem} (ffmpeg with the same encoders: {shown})")
    underflows = log.count("buffer underflow")
    if underflows:
        problems.append(f"{underflows} \"buffer underflow\" lines in the log")
    return problems


def oracle_lengths(cell, x, work):
    """The lengths Debian's ffmpeg states when it converts the cell's source with
    the cell's encoders, size, rates and channels into the same container:
    {"format"|"video"|"audio": seconds}."""
    out = os.path.join(work, "oracle_same." + cell.fmt.ext)
    cmd = ["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y",
           "-i", cell.shape.file, "-strict", "experimental"]
    if x.video and cell.shape.video:
        cmd += ["-map", "0:v:0", "-c:v", x.video[0],
                "-pix_fmt", "yuvj420p" if x.video[1] == "mjpeg" else "yuv420p", "-r", str(x.rate)]
        rule = max(x.size_rule, 2)
        cmd += (["-s", f"{x.size[0]}x{x.size[1]}"] if x.size else
                ["-vf", f"scale=trunc(iw/{rule})*{rule}:trunc(ih/{rule})*{rule}"])
    if x.audio and cell.shape.audio:
        cmd += ["-map", "0:a:0", "-c:a", x.audio[0], "-ac", str(x.channels),
                "-b:a", str(x.audio_bitrate)]
        rate = x.sample_rate[0] if isinstance(x.sample_rate, tuple) else x.sample_rate
        if isinstance(rate, int):
            cmd += ["-ar", str(rate)]
    code, _, _ = run(cmd + ["-f", x.muxer, out], timeout=300)
    info, _ = probe(out) if code == 0 else (None, "")
    if info is None:
        return {}
    lengths = {}
    if "duration" in info.get("format", {}):
        lengths["format"] = float(info["format"]["duration"])
    for s in info.get("streams", []):
        if s.get("codec_type") in ("video", "audio") and "duration" in s:
            lengths.setdefault(s["codec_type"], float(s["duration"]))
    return lengths


def oracle_writes(cell, x, work):
    """Whether Debian's ffmpeg writes the cell's encoders into its container with its settings."""
    out = os.path.join(work, "oracle." + cell.fmt.ext)
    cmd = ["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y"]
    if x.video:
        cmd += ["-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25", "-t", "0.5"]
    if x.audio:
        cmd += ["-f", "lavfi", "-i", "sine=sample_rate=48000", "-t", "0.5"]
    cmd += ["-strict", "experimental"]
    if x.video:
        cmd += ["-c:v", x.video[0], "-pix_fmt", "yuvj420p" if x.video[1] == "mjpeg" else "yuv420p"]
        if x.size:
            cmd += ["-s", f"{x.size[0]}x{x.size[1]}"]
        cmd += ["-r", str(x.rate)]
    if x.audio:
        cmd += ["-c:a", x.audio[0], "-ac", str(x.channels)]
        rate = x.sample_rate[0] if isinstance(x.sample_rate, tuple) else x.sample_rate
        if isinstance(rate, int):
            cmd += ["-ar", str(rate)]
        cmd += ["-b:a", str(x.audio_bitrate)]
    cmd += ["-f", x.muxer, out]
    code, _, err = run(cmd, timeout=120)
    return code == 0, err.strip().splitlines()[-1] if err.strip() else ""


@dataclass
class Result:
    cell: Cell
    verdict: str  # "pass", "refused", "fail"
    detail: str = ""
    seconds: float = 0


def run_cell(cli, cell, work):
    start = time.monotonic()
    out_dir = tempfile.mkdtemp(prefix="cell_", dir=work)
    x = expect(cell)
    cmd = [cli, "convert", "--format", str(cell.fmt.id), "--out", out_dir]
    for option, caption in cell.choices.items():
        cmd += [option, caption]
    cmd.append(cell.shape.file)
    code, out, err = run(cmd)
    lines = out.strip().splitlines()
    done = [l[5:] for l in lines if l.startswith("done ")]
    failed = [l for l in lines if l.startswith("failed ")]
    left = os.listdir(out_dir)

    def result(verdict, detail=""):
        shutil.rmtree(out_dir, ignore_errors=True)
        return Result(cell, verdict, detail, time.monotonic() - start)

    if x.fails:
        if done:
            return result("fail", "nothing to convert, but it ended \"done\"")
        if left:
            return result("fail", f"failed but left {', '.join(left)}")
        if failed and cell.shape.file in failed[0]:
            return result("pass")
        refusal = err.strip().splitlines()[-1] if err.strip() else ""
        return result("pass" if code == 2 and refusal else "fail",
                      refusal or f"exit {code} without a message")
    if code == 2 and not done and not failed:
        refusal = err.strip().splitlines()[-1] if err.strip() else f"exit 2"
        if not cell.choices:
            return result("fail", f"the format's defaults refused: {refusal}")
        writes, why = oracle_writes(cell, x, out_dir)
        if writes:
            return result("fail", f"refused although ffmpeg writes it: {refusal}")
        return result("refused", f"{refusal}  [ffmpeg: {why}]")
    if not done:
        message = failed[0] if failed else (err.strip().splitlines() or [f"exit {code}"])[-1]
        return result("fail", message)
    problems = check_output(cell, x, done[0], err)
    return result("fail" if problems else "pass", "; ".join(problems))


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--cli", required=True, help="zorvex-cli")
    p.add_argument("--shapes", help="comma-separated source shapes of the default cells, or "
                   "'none' (default: all; see --list)")
    p.add_argument("--formats", help="comma-separated format ids (default: all 76)")
    p.add_argument("--alternatives", default="ac3-5.1", metavar="SHAPE",
                   help="source of the alternative-choice cells, or 'none' (default ac3-5.1)")
    p.add_argument("--ci", action="store_true", help="the fast subset: one source per rule")
    p.add_argument("--jobs", type=int, default=2, help="cells converted at once (default 2)")
    p.add_argument("--seconds", type=float, default=2, help="source length (default 2)")
    p.add_argument("--list", action="store_true", help="list shapes and cells, convert nothing")
    p.add_argument("--verbose", action="store_true", help="also print passing and refused cells")
    p.add_argument("--keep", metavar="DIR", help="make the sources in DIR and keep them")
    args = p.parse_args()

    all_shapes = shapes(args.seconds)
    by_name = {s.name: s for s in all_shapes}
    for s in all_shapes:
        s.seconds = args.seconds
    try:
        chosen_shapes = ([] if args.shapes == "none" else
                         [by_name[n] for n in args.shapes.split(",")] if args.shapes
                         else all_shapes)
        chosen_formats = ([FORMAT_BY_ID[int(i)] for i in args.formats.split(",")] if args.formats
                          else FORMATS)
        alt = None if args.alternatives == "none" else by_name[args.alternatives]
    except (KeyError, ValueError) as e:
        sys.exit(f"unknown shape or format {e}; shapes: {', '.join(by_name)}")
    if args.ci:
        cells = [Cell(by_name[s], FORMAT_BY_ID[f], c,
                      " ".join(f"{k[2:]}={v}" for k, v in c.items())) for s, f, c in CI_CELLS]
    else:
        cells = cells_for(chosen_shapes, chosen_formats, alt, chosen_formats)
    if args.list:
        for s in all_shapes:
            print(f"shape {s.name:12} {s.what}")
        for c in cells:
            print(f"cell {c.name}")
        print(f"{len(cells)} cells")
        return 0

    work = args.keep or tempfile.mkdtemp(prefix="format_matrix_")
    os.makedirs(work, exist_ok=True)
    try:
        needed = {c.shape.name: c.shape for c in cells}
        make_sources(list(needed.values()), work)
        started = time.monotonic()
        results = []
        lock = threading.Lock()
        with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
            futures = [pool.submit(run_cell, args.cli, c, work) for c in cells]
            for future in concurrent.futures.as_completed(futures):
                r = future.result()
                with lock:
                    results.append(r)
                    if r.verdict == "fail":
                        print(f"FAIL {r.cell.name}: {r.detail}", flush=True)
                    elif args.verbose:
                        print(f"{r.verdict} {r.cell.name} ({r.seconds:.1f} s) {r.detail}", flush=True)
        elapsed = time.monotonic() - started
    finally:
        if not args.keep:
            shutil.rmtree(work, ignore_errors=True)

    def tally(rs):
        n = len(rs)
        fails = sum(r.verdict == "fail" for r in rs)
        refused = sum(r.verdict == "refused" for r in rs)
        return n, n - fails - refused, refused, fails

    defaults = [r for r in results if not r.cell.choices]
    others = [r for r in results if r.cell.choices]
    for label, rs in (("defaults", defaults), ("alternatives", others), ("total", results)):
        if rs:
            n, ok, refused, fails = tally(rs)
            print(f"{label}: {n} cells, {ok} pass, {refused} refused (ffmpeg cannot write them "
                  f"either), {fails} fail")
    slowest = sorted(results, key=lambda r: r.seconds, reverse=True)[:3]
    print(f"wall time {elapsed / 60:.1f} min with {args.jobs} jobs; slowest cells: "
          + ", ".join(f"{r.cell.name} {r.seconds:.0f} s" for r in slowest))
    return 1 if any(r.verdict == "fail" for r in results) else 0


if __name__ == "__main__":
    sys.exit(main())
