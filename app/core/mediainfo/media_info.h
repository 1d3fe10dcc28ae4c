// The media information window's texts: container, video and audio properties
// of one source file, mostly cut out of the probe's information text.
#pragma once

#include <QString>
#include <string>

#include "media/probe.h"

namespace zorvex::app {

// What the window shows, one text per label.
struct MediaInfoTexts {
    QString fileName;        // "文件名："
    QString formatName;      // "文件格式："
    QString duration;        // "播放时长：" hh:mm:ss after a space; empty when unknown
    QString fileSize;        // "文件大小："
    QString bitRate;         // "比特率："
    QString formatLongName;  // "文件格式全名："
    QString extension;       // "文件扩展名：" with its dot
    QString resolution;      // "视频分辨率：" width*height
    QString frameRate;       // "视频帧率：" two decimals
    QString videoBitRate;    // "视频比特率：" kbit/s + "  kbps"
    QString videoStream;     // "视频流信息：" or "无"
    QString sampleRate;      // "音频采样率：" Hz
    QString channels;        // "音频声道："
    QString audioBitRate;    // "音频比特率：" kbit/s + "  kbps"
    QString audioStream;     // "音频流信息：" or "无"
};

// The probe's answers the texts are made from.
struct MediaInfoSource {
    std::string fileName;
    std::string formatName;
    std::string formatLongName;
    std::string infoText;  // GetFileInfoText
    TAudioStreamInfo audio;
    TVideoStreamInfo video;
};

// Asks the probe about file. The probe's libraries must be loaded (LoadFile
// throws otherwise). A file the probe cannot open gives empty texts and no
// streams, as the probe answers them.
MediaInfoSource ProbeMediaInfo(TCustomAVProbe& probe, const std::string& file);

MediaInfoTexts MakeMediaInfoTexts(const MediaInfoSource& source);

// The pieces of the information text, each empty (or "无" for the streams)
// when the text lacks what it is cut from.
namespace info_text {
QString StreamText(const QString& text, const QString& marker);  // "Video:", "Audio:"
QString FileSizeText(const QString& text);
QString DurationText(const QString& text);
QString BitRateText(const QString& text);
}  // namespace info_text

// "单声道", "立体声", "6声道"…; "无" without sound.
QString ChannelsText(int channels);
// bit/s -> kbit/s rounded, a half to the even neighbour, + "  kbps".
QString KbpsText(int bitRate);
// num/den with two decimals; "0.00" for a zero denominator.
QString FrameRateText(int num, int den);

}  // namespace zorvex::app
