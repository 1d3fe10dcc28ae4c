#include "app/core/workbench/saved_queue.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <variant>

namespace zorvex::app {

namespace {

constexpr int kFormatVersion = 1;

// What a text field may hold. The values become engine options (vcodec, f, s,
// r, aspect, vtag, vpre, vf): none of them may name a file to write, a library
// to load or a further option.
enum class Text {
    Path,     // a file name, checked where it is opened
    Word,     // a codec, format or tag name: letters, digits, "_", "-", "."
    Measure,  // a size, rate or aspect: "640x480", "30000/1001", "16:9", "hd720"
    Preset,   // a preset name: letters, digits, "_", "-" (never a path)
    Filters,  // the settings window's picture filters, comma-separated
};

bool OnlyOf(const std::string& value, const char* extra) {
    for (const char c : value) {
        const bool alnum =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!alnum && std::strchr(extra, c) == nullptr) return false;
    }
    return value.size() <= 64;
}

bool Acceptable(Text kind, const std::string& value) {
    switch (kind) {
        case Text::Path:
            return value.find('\0') == std::string::npos;
        case Text::Word:
            return OnlyOf(value, "_-.") && value.find("..") == std::string::npos;
        case Text::Measure:
            return OnlyOf(value, "_-.:/");
        case Text::Preset:
            return OnlyOf(value, "_-");
        case Text::Filters:
            for (const QString& f : QString::fromStdString(value).split(',', Qt::SkipEmptyParts)) {
                if (f != "hflip" && f != "vflip" && f != "negate") return false;
            }
            return true;
    }
    return false;
}

// One record field: its name in the file and where it lives. 64-bit times are
// written as text, which keeps every value exact. Only the fields the program
// itself fills in (the source, the output name and the settings window's
// choices) are written and read: a saved queue is a file anyone could have
// put there, and the records' other fields (free option text, hooks, ...)
// could make a conversion write or load files the user never chose.
template <typename Record>
struct Field {
    const char* name;
    std::variant<std::string Record::*, int Record::*, std::int64_t Record::*, bool Record::*>
        member;
    Text text = Text::Word;
};

const Field<TInputOptions> kInputFields[] = {
    {"FileName", &TInputOptions::FileName, Text::Path},
    {"FileFormat", &TInputOptions::FileFormat},
    {"StartTime", &TInputOptions::StartTime},
};

const Field<TOutputOptions> kOutputFields[] = {
    {"FileName", &TOutputOptions::FileName, Text::Path},
    {"FileFormat", &TOutputOptions::FileFormat},
    {"AudioCodec", &TOutputOptions::AudioCodec},
    {"AudioVolume", &TOutputOptions::AudioVolume},
    {"AudioChannels", &TOutputOptions::AudioChannels},
    {"AudioSampleRate", &TOutputOptions::AudioSampleRate},
    {"AudioBitrate", &TOutputOptions::AudioBitrate},
    {"VideoCodec", &TOutputOptions::VideoCodec},
    {"VideoPreset", &TOutputOptions::VideoPreset, Text::Preset},
    {"DisableVideo", &TOutputOptions::DisableVideo},
    {"FrameRate", &TOutputOptions::FrameRate, Text::Measure},
    {"FrameSize", &TOutputOptions::FrameSize, Text::Measure},
    {"FrameAspectRatio", &TOutputOptions::FrameAspectRatio, Text::Measure},
    {"VideoBitrate", &TOutputOptions::VideoBitrate},
    {"VideoTag", &TOutputOptions::VideoTag},
    {"VideoFilters", &TOutputOptions::VideoFilters, Text::Filters},
    {"StartTime", &TOutputOptions::StartTime},
    {"Duration", &TOutputOptions::Duration},
    {"TargetType", &TOutputOptions::TargetType},
    {"TargetNorm", &TOutputOptions::TargetNorm},
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

// A value that sets nothing: the "not set" value of a field that earlier
// versions wrote for every record.
bool Neutral(const QString& name, const QJsonValue& v) {
    if (v.isObject()) {
        const QJsonObject object = v.toObject();
        for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
            if (!Neutral(it.key(), it.value())) return false;
        }
        return true;
    }
    if (name == QLatin1String("TargetDefaultNorm") && v.toDouble() == 1) return true;
    return v.isNull() || (v.isBool() && !v.toBool()) ||
           (v.isDouble() && (v.toDouble() == 0 || v.toDouble() == -1)) ||
           (v.isString() &&
            (v.toString().isEmpty() || v.toString() == QString::number(NoPtsValue)));
}

// Reads the known fields; a field the program does not write, or a value it
// would not write, is left "not set" and its name goes to ignored.
template <typename Record, size_t N>
void FromJson(const QJsonObject& object, Record& record, const Field<Record> (&fields)[N],
              const QString& part, std::set<QString>& ignored) {
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        const bool known = std::any_of(std::begin(fields), std::end(fields), [&](const auto& f) {
            return it.key() == QLatin1String(f.name);
        });
        if (!known && !Neutral(it.key(), it.value())) ignored.insert(part + "." + it.key());
    }
    for (const Field<Record>& f : fields) {
        const QJsonValue v = object.value(f.name);
        if (v.isUndefined()) continue;
        bool taken = false;
        std::visit(
            [&](auto member) {
                using T = std::decay_t<decltype(record.*member)>;
                T& value = record.*member;
                if constexpr (std::is_same_v<T, std::string>) {
                    const std::string text = v.toString().toStdString();
                    if (v.isString() && Acceptable(f.text, text)) {
                        value = text;
                        taken = true;
                    }
                } else if constexpr (std::is_same_v<T, std::int64_t>) {
                    bool ok = false;
                    const qlonglong n = v.toString().toLongLong(&ok);
                    if (ok) value = n;
                    taken = ok;
                } else if constexpr (std::is_same_v<T, bool>) {
                    if (v.isBool()) value = v.toBool();
                    taken = v.isBool();
                } else {
                    const double d = v.toDouble();
                    taken = v.isDouble() && d == std::floor(d) && std::abs(d) < 1e9;
                    if (taken) value = static_cast<int>(d);
                }
            },
            f.member);
        if (!taken) ignored.insert(part + "." + f.name);
    }
}

}  // namespace

QByteArray SavedQueueToJson(const SavedQueue& queue) {
    QJsonArray rows;
    for (const SavedRow& row : queue.rows) {
        rows.append(QJsonObject{{"Status", row.status},
                                {"OutputBase", QString::fromStdString(row.outputBase)},
                                {"Input", ToJson(row.input, kInputFields)},
                                {"Output", ToJson(row.output, kOutputFields)}});
    }
    return QJsonDocument(QJsonObject{{"ZorvexQueue", kFormatVersion}, {"Rows", rows}})
        .toJson(QJsonDocument::Indented);
}

std::optional<SavedQueue> SavedQueueFromJson(const QByteArray& json) {
    const QJsonDocument document = QJsonDocument::fromJson(json);
    const QJsonObject root = document.object();
    if (!root.value("ZorvexQueue").isDouble() || !root.value("Rows").isArray()) return std::nullopt;
    SavedQueue queue;
    std::set<QString> ignored;
    int withoutSource = 0;
    for (const QJsonValue& value : root.value("Rows").toArray()) {
        const QJsonObject object = value.toObject();
        SavedRow row;
        row.status = object.value("Status").toString();
        const std::string base = object.value("OutputBase").toString().toStdString();
        if (Acceptable(Text::Path, base)) row.outputBase = base;
        FromJson(object.value("Input").toObject(), row.input, kInputFields, "Input", ignored);
        FromJson(object.value("Output").toObject(), row.output, kOutputFields, "Output", ignored);
        if (row.input.FileName.empty()) {
            ++withoutSource;  // nothing to convert
            continue;
        }
        queue.rows.push_back(std::move(row));
    }
    if (!ignored.empty()) {
        QStringList names(ignored.begin(), ignored.end());
        queue.problems << QStringLiteral("上次的转换列表中有本程序不会写入的选项或取值，已忽略: ") +
                              names.join(QStringLiteral(", "));
    }
    if (withoutSource > 0) {
        queue.problems
            << QStringLiteral("上次的转换列表中有 %1 行没有源文件，已跳过").arg(withoutSource);
    }
    return queue;
}

}  // namespace zorvex::app
