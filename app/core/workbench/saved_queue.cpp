#include "app/core/workbench/saved_queue.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <variant>

namespace zorvex::app {

namespace {

constexpr int kFormatVersion = 1;

// One record field: its name in the file and where it lives. 64-bit times are
// written as text, which keeps every value exact.
template <typename Record>
struct Field {
    const char* name;
    std::variant<std::string Record::*, int Record::*, std::int64_t Record::*, float Record::*,
                 double Record::*, bool Record::*>
        member;
};

const Field<TInputOptions> kInputFields[] = {
    {"FileName", &TInputOptions::FileName},     {"FileFormat", &TInputOptions::FileFormat},
    {"StartTime", &TInputOptions::StartTime},   {"ProgramID", &TInputOptions::ProgramID},
    {"ExtOptions", &TInputOptions::ExtOptions},
};

const Field<TOutputOptions> kOutputFields[] = {
    {"FileName", &TOutputOptions::FileName},
    {"FileFormat", &TOutputOptions::FileFormat},
    {"PacketSize", &TOutputOptions::PacketSize},
    {"MuxRate", &TOutputOptions::MuxRate},
    {"MuxDelay", &TOutputOptions::MuxDelay},
    {"MuxPreload", &TOutputOptions::MuxPreload},
    {"AudioCodec", &TOutputOptions::AudioCodec},
    {"AudioPreset", &TOutputOptions::AudioPreset},
    {"DisableAudio", &TOutputOptions::DisableAudio},
    {"AudioVolume", &TOutputOptions::AudioVolume},
    {"AudioChannels", &TOutputOptions::AudioChannels},
    {"AudioSampleRate", &TOutputOptions::AudioSampleRate},
    {"AudioBitrate", &TOutputOptions::AudioBitrate},
    {"AudioBitrateTolerance", &TOutputOptions::AudioBitrateTolerance},
    {"AudioLanguage", &TOutputOptions::AudioLanguage},
    {"AudioSync", &TOutputOptions::AudioSync},
    {"AudioTag", &TOutputOptions::AudioTag},
    {"VideoCodec", &TOutputOptions::VideoCodec},
    {"VideoPreset", &TOutputOptions::VideoPreset},
    {"DisableVideo", &TOutputOptions::DisableVideo},
    {"FrameRate", &TOutputOptions::FrameRate},
    {"FrameSize", &TOutputOptions::FrameSize},
    {"FrameAspectRatio", &TOutputOptions::FrameAspectRatio},
    {"CropTop", &TOutputOptions::CropTop},
    {"CropBottom", &TOutputOptions::CropBottom},
    {"CropLeft", &TOutputOptions::CropLeft},
    {"CropRight", &TOutputOptions::CropRight},
    {"GOPSize", &TOutputOptions::GOPSize},
    {"VideoBitrate", &TOutputOptions::VideoBitrate},
    {"VideoMaxRate", &TOutputOptions::VideoMaxRate},
    {"VideoMinRate", &TOutputOptions::VideoMinRate},
    {"VideoBitrateTolerance", &TOutputOptions::VideoBitrateTolerance},
    {"VideoBufSize", &TOutputOptions::VideoBufSize},
    {"VideoSync", &TOutputOptions::VideoSync},
    {"VideoTag", &TOutputOptions::VideoTag},
    {"VideoFilters", &TOutputOptions::VideoFilters},
    {"VideoLanguage", &TOutputOptions::VideoLanguage},
    {"SubtitleCodec", &TOutputOptions::SubtitleCodec},
    {"SubtitlePreset", &TOutputOptions::SubtitlePreset},
    {"DisableSubtitle", &TOutputOptions::DisableSubtitle},
    {"SubtitleLanguage", &TOutputOptions::SubtitleLanguage},
    {"InputSync", &TOutputOptions::InputSync},
    {"CopyTimestamp", &TOutputOptions::CopyTimestamp},
    {"StartTime", &TOutputOptions::StartTime},
    {"Duration", &TOutputOptions::Duration},
    {"TargetType", &TOutputOptions::TargetType},
    {"TargetNorm", &TOutputOptions::TargetNorm},
    {"TargetDefaultNorm", &TOutputOptions::TargetDefaultNorm},
    {"VideoHook", &TOutputOptions::VideoHook},
    {"Join", &TOutputOptions::Join},
    {"ExtOptions", &TOutputOptions::ExtOptions},
};

const Field<TStreamInfo> kStreamInfoFields[] = {
    {"Timestamp", &TStreamInfo::Timestamp}, {"Year", &TStreamInfo::Year},
    {"Track", &TStreamInfo::Track},         {"Title", &TStreamInfo::Title},
    {"Author", &TStreamInfo::Author},       {"Copyright", &TStreamInfo::Copyright},
    {"Comment", &TStreamInfo::Comment},     {"Album", &TStreamInfo::Album},
    {"Genre", &TStreamInfo::Genre},
};

template <typename Record, size_t N>
QJsonObject ToJson(const Record& record, const Field<Record> (&fields)[N]) {
    QJsonObject object;
    for (const Field<Record>& f : fields) {
        std::visit(
            [&](auto member) {
                using T = std::decay_t<decltype(record.*member)>;
                const T& value = record.*member;
                if constexpr (std::is_same_v<T, std::string>) {
                    object.insert(f.name, QString::fromStdString(value));
                } else if constexpr (std::is_same_v<T, std::int64_t>) {
                    object.insert(f.name, QString::number(value));
                } else if constexpr (std::is_same_v<T, bool>) {
                    object.insert(f.name, value);
                } else {
                    object.insert(f.name, static_cast<double>(value));
                }
            },
            f.member);
    }
    return object;
}

template <typename Record, size_t N>
void FromJson(const QJsonObject& object, Record& record, const Field<Record> (&fields)[N]) {
    for (const Field<Record>& f : fields) {
        const QJsonValue v = object.value(f.name);
        if (v.isUndefined()) continue;
        std::visit(
            [&](auto member) {
                using T = std::decay_t<decltype(record.*member)>;
                T& value = record.*member;
                if constexpr (std::is_same_v<T, std::string>) {
                    if (v.isString()) value = v.toString().toStdString();
                } else if constexpr (std::is_same_v<T, std::int64_t>) {
                    bool ok = false;
                    const qlonglong n = v.toString().toLongLong(&ok);
                    if (ok) value = n;
                } else if constexpr (std::is_same_v<T, bool>) {
                    if (v.isBool()) value = v.toBool();
                } else if constexpr (std::is_same_v<T, int>) {
                    if (v.isDouble()) value = v.toInt(value);
                } else {
                    if (v.isDouble()) value = static_cast<T>(v.toDouble());
                }
            },
            f.member);
    }
}

}  // namespace

QByteArray SavedQueueToJson(const SavedQueue& queue) {
    QJsonArray rows;
    for (const SavedRow& row : queue.rows) {
        QJsonObject output = ToJson(row.output, kOutputFields);
        output.insert("StreamInfo", ToJson(row.output.StreamInfo, kStreamInfoFields));
        rows.append(QJsonObject{{"Status", row.status},
                                {"Input", ToJson(row.input, kInputFields)},
                                {"Output", output}});
    }
    return QJsonDocument(QJsonObject{{"ZorvexQueue", kFormatVersion}, {"Rows", rows}})
        .toJson(QJsonDocument::Indented);
}

std::optional<SavedQueue> SavedQueueFromJson(const QByteArray& json) {
    const QJsonDocument document = QJsonDocument::fromJson(json);
    const QJsonObject root = document.object();
    if (!root.value("ZorvexQueue").isDouble() || !root.value("Rows").isArray()) return std::nullopt;
    SavedQueue queue;
    for (const QJsonValue& value : root.value("Rows").toArray()) {
        const QJsonObject object = value.toObject();
        SavedRow row;
        row.status = object.value("Status").toString();
        FromJson(object.value("Input").toObject(), row.input, kInputFields);
        const QJsonObject output = object.value("Output").toObject();
        FromJson(output, row.output, kOutputFields);
        FromJson(output.value("StreamInfo").toObject(), row.output.StreamInfo, kStreamInfoFields);
        if (row.input.FileName.empty()) continue;  // nothing to convert
        queue.rows.push_back(std::move(row));
    }
    return queue;
}

}  // namespace zorvex::app
