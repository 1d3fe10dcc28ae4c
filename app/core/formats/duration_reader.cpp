#include "app/core/formats/duration_reader.h"

#include <algorithm>
#include <cctype>

#include "media/ffapi.h"

namespace zorvex::app {

namespace {
bool HasDatExtension(const std::string& file) {
    if (file.size() < 4) return false;
    std::string ext = file.substr(file.size() - 4);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == ".dat";
}
}  // namespace

std::int64_t ConverterDurationReader::ReadDuration(const std::string& file) {
    if (file.empty()) return -1;
    TInputOptions options;
    InitInputOptions(options);
    options.FileName = file;
    if (HasDatExtension(file)) options.FileFormat = "mpeg";
    std::int64_t duration = -1;
    try {
        const int task = converter_.AddTask(file, &options);
        if (task >= 0) {
            if (const AVFormatContext* context = converter_.InputFormatContext(task, 0)) {
                if (context->duration != AV_NOPTS_VALUE && context->duration >= 0) {
                    duration = context->duration;
                }
            }
        }
        converter_.ClearTasks();
    } catch (const std::exception&) {
        // A component that refuses (it is working) leaves the length unknown.
        duration = -1;
    }
    return duration;
}

}  // namespace zorvex::app
