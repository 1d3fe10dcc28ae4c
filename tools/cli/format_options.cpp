#include "tools/cli/format_options.h"

#include <charconv>

namespace zorvex::cli {

const std::vector<ChoiceOption>& ChoiceOptions() {
    using app::ChoiceKind;
    static const std::vector<ChoiceOption> options = {
        {"--video-encoder", ChoiceKind::VideoEncoder},
        {"--video-bitrate", ChoiceKind::VideoBitRate},
        {"--frame-size", ChoiceKind::FrameSize},
        {"--frame-rate", ChoiceKind::FrameRate},
        {"--audio-encoder", ChoiceKind::AudioEncoder},
        {"--audio-bitrate", ChoiceKind::AudioBitRate},
        {"--sample-rate", ChoiceKind::SampleRate},
        {"--channels", ChoiceKind::Channels},
        {"--scaling", ChoiceKind::Scaling},
        {"--volume", ChoiceKind::Volume},
    };
    return options;
}

bool IsVideoChoice(app::ChoiceKind kind) {
    using app::ChoiceKind;
    return kind == ChoiceKind::VideoEncoder || kind == ChoiceKind::VideoBitRate ||
           kind == ChoiceKind::FrameSize || kind == ChoiceKind::FrameRate ||
           kind == ChoiceKind::Scaling;
}

bool ParseFormatId(const std::string& text, int& id) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, id);
    return !text.empty() && ec == std::errc() && ptr == end;
}

}  // namespace zorvex::cli
