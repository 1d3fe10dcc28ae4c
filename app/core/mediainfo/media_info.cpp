#include "app/core/mediainfo/media_info.h"

#include <QStringList>
#include <cmath>

#include "app/core/file_names.h"

namespace zorvex::app {

namespace {

const QString kNone = QStringLiteral("无");

// The lines of the information text (joined with CR LF by the probe).
QStringList Lines(const QString& text) {
    QString normal = text;
    normal.remove('\r');
    return normal.split('\n');
}

// The rest of the first line that starts with marker; null when there is none.
// Only line starts count, so a file name or a tag value holding a marker
// cannot be mistaken for it.
QString LineAfter(const QString& text, const QString& marker) {
    for (const QString& line : Lines(text)) {
        if (line.startsWith(marker)) return line.mid(marker.size());
    }
    return {};
}

}  // namespace

namespace info_text {

QString StreamText(const QString& text, const QString& marker) {
    for (const QString& line : Lines(text)) {
        if (!line.startsWith(QStringLiteral("Stream #"))) continue;
        const qsizetype start = line.indexOf(marker);
        if (start < 0) continue;
        const QString rest = line.mid(start);
        // Without a known start time the stream line goes on with its duration.
        qsizetype end = rest.indexOf(QStringLiteral(", StartTime:"));
        if (end < 0) end = rest.indexOf(QStringLiteral(", Duration:"));
        return end < 0 ? rest : rest.left(end);
    }
    return kNone;
}

QString FileSizeText(const QString& text) {
    // Everything between the marker and the duration line: the size after a
    // space, and the line break.
    const QString marker = QStringLiteral("File Size:");
    qsizetype start = text.startsWith(marker) ? 0 : text.indexOf('\n' + marker);
    if (start < 0) return {};
    if (start > 0) ++start;
    start += marker.size();
    const qsizetype end = text.indexOf(QStringLiteral("\nDuration:"), start);
    if (end >= 0) return text.mid(start, end + 1 - start);
    qsizetype lineEnd = text.indexOf('\n', start);
    if (lineEnd < 0) lineEnd = text.size();
    QString value = text.mid(start, lineEnd - start);
    if (value.endsWith('\r')) value.chop(1);
    return value;
}

QString DurationText(const QString& text) {
    // " hh:mm:ss.mmm" loses its milliseconds; " N/A" loses everything.
    QString value = LineAfter(text, QStringLiteral("Duration:"));
    if (value.size() <= 4) return {};
    value.chop(4);
    return value;
}

QString BitRateText(const QString& text) {
    QString value = LineAfter(text, QStringLiteral("Bit Rate:"));
    const qsizetype stream = value.indexOf(QStringLiteral("Stream #0"));
    if (stream >= 0) value.truncate(stream);
    return value.left(10);
}

}  // namespace info_text

QString ChannelsText(int channels) {
    if (channels == 1) return QStringLiteral("单声道");
    if (channels == 2) return QStringLiteral("立体声");
    if (channels <= 0) return kNone;
    return QString::number(channels) + QStringLiteral("声道");
}

QString KbpsText(int bitRate) {
    // nearbyint rounds a half to the even neighbour in the default rounding mode.
    const auto kbps = static_cast<long long>(std::nearbyint(bitRate / 1000.0));
    return QString::number(kbps) + QStringLiteral("  kbps");
}

QString FrameRateText(int num, int den) {
    if (den == 0) return QStringLiteral("0.00");
    return QString::number(static_cast<double>(num) / den, 'f', 2);
}

MediaInfoSource ProbeMediaInfo(TCustomAVProbe& probe, const std::string& file) {
    MediaInfoSource source;
    probe.LoadFile(file);  // a failed load leaves an empty probe, shown as such
    source.fileName = probe.FileName();
    source.formatName = probe.FormatName();
    source.formatLongName = probe.FormatLongName();
    source.infoText = probe.GetFileInfoText();
    // Asking for a stream the file lacks would only log an error; the records
    // already hold the values of a missing stream.
    if (probe.FirstAudioStream() >= 0) {
        probe.GetAudioStreamInfo(probe.FirstAudioStream(), source.audio);
    }
    if (probe.FirstVideoStream() >= 0) {
        probe.GetVideoStreamInfo(probe.FirstVideoStream(), source.video);
    }
    return source;
}

MediaInfoTexts MakeMediaInfoTexts(const MediaInfoSource& source) {
    const QString text = QString::fromStdString(source.infoText);
    const QString fileName = QString::fromStdString(source.fileName);
    MediaInfoTexts t;
    t.fileName = FileNamePart(fileName);
    t.formatName = QString::fromStdString(source.formatName);
    t.duration = info_text::DurationText(text);
    t.fileSize = info_text::FileSizeText(text);
    t.bitRate = info_text::BitRateText(text);
    t.formatLongName = QString::fromStdString(source.formatLongName);
    t.extension = ExtensionPart(fileName);

    const TVideoStreamInfo& video = source.video;
    t.resolution = QString::number(video.Width) + '*' + QString::number(video.Height);
    t.frameRate = FrameRateText(video.FrameRateNum, video.FrameRateDen);
    t.videoBitRate = KbpsText(video.BitRate);
    t.videoStream = info_text::StreamText(text, QStringLiteral("Video:"));

    const TAudioStreamInfo& audio = source.audio;
    t.sampleRate = QString::number(audio.SampleRate);
    t.channels = ChannelsText(audio.Channels);
    t.audioBitRate = KbpsText(audio.BitRate);
    t.audioStream = info_text::StreamText(text, QStringLiteral("Audio:"));
    return t;
}

}  // namespace zorvex::app
