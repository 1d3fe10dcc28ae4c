#include "app/core/formats/choice_compatibility.h"

#include "app/core/formats/format_catalogue.h"
#include "media/output_check.h"
#include "media/text.h"

namespace zorvex::app {

std::string UnwritableChoiceMessage(const TFormatSettings& settings,
                                    const std::array<std::string, 10>& captions) {
    TOutputOptions record;
    InitOutputOptions(record);
    record.FileName = settings.FmtOutputFile;
    ApplyFormatSettings(settings, true, record);
    const OutputCheck check = CheckOutput(record);
    if (check.verdict != OutputCheck::ContainerRefuses &&
        check.verdict != OutputCheck::EncoderRefuses) {
        return {};
    }
    const char* kind = check.audio ? "音频编码器" : "视频编码器";
    const std::string& caption =
        captions[Index(check.audio ? ChoiceKind::AudioEncoder : ChoiceKind::VideoEncoder)];
    const std::string encoder =
        text::Fmt("%s“%s”（%s）", kind, caption.c_str(), check.encoder.c_str());
    if (check.verdict == OutputCheck::ContainerRefuses) {
        const std::string file = FileNameOf(settings.FmtOutputFile);
        const auto dot = file.rfind('.');
        const std::string extension = dot == std::string::npos ? "" : file.substr(dot);
        return text::Fmt("所选的%s不能写入%s文件（%s，%s），请选择其他%s！", encoder.c_str(),
                         extension.c_str(), check.muxer.c_str(), check.muxerDescription.c_str(),
                         kind);
    }
    if (check.audio && check.bitRateAtFault) {
        return text::Fmt(
            "所选的%s不能在%d Hz采样率下以%d kbps的比特率编码，请选择其他音频比特率或采样率！",
            encoder.c_str(), check.sampleRate, check.bitRate / 1000);
    }
    if (check.audio) {
        return text::Fmt("所选的%s不能以%d Hz采样率、%d声道编码（%s），请选择其他设置！",
                         encoder.c_str(), check.sampleRate, check.channels, check.reason.c_str());
    }
    return text::Fmt("所选的%s无法打开（%s），请选择其他视频编码器！", encoder.c_str(),
                     check.reason.c_str());
}

}  // namespace zorvex::app
