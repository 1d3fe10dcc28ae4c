#include "app/core/formats/duration_reader.h"

#include "app/core/workbench/task_builder.h"
#include "media/ffapi.h"

namespace zorvex::app {

std::int64_t ConverterDurationReader::ReadDuration(const std::string& file) {
    if (file.empty()) return -1;
    TInputOptions options = SourceInputOptions(file);
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
