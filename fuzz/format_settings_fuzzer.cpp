// The settings window's confirmation: a format, the user's picks in its ten
// lists, the picture filters, the cut range with whatever the six time boxes
// hold and any source length, confirmed and applied to a task's records.
#include <cstring>

#include "app/core/formats/duration_reader.h"
#include "app/core/formats/format_catalogue.h"
#include "app/core/formats/format_settings.h"
#include "app/core/formats/settings_controller.h"
#include "fuzz/fuzz_support.h"

using namespace zorvex;
using namespace zorvex::app;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::ByteReader in(data, size);
    const auto& formats = Formats();
    const std::uint8_t pick = in.Byte();
    // One past the catalogue: an id the catalogue does not know.
    const int formatId = pick % (formats.size() + 1) < formats.size()
                             ? formats[pick % (formats.size() + 1)].id
                             : 9999;
    std::int64_t duration = 0;
    for (int i = 0; i < 8; ++i)
        duration =
            static_cast<std::int64_t>((static_cast<std::uint64_t>(duration) << 8) | in.Byte());
    const std::uint8_t switches = in.Byte();
    const bool addedAlone = (switches & 1) != 0;

    FixedDurationReader durations(duration);
    FormatSettingsController window(durations, nullptr);
    TFormatSettings settings;
    settings.FmtSourceFile = in.Text('\n');
    const std::string outputFolder = in.Text('\n');
    window.OfferCutRange(addedAlone);
    window.Show(formatId, settings, outputFolder);

    for (int k = 0; k < kChoiceCount; ++k) {
        const auto kind = static_cast<ChoiceKind>(k);
        const std::uint8_t choice = in.Byte();
        if (choice != 0) window.Select(kind, choice - 1);  // 0: keep the default
    }
    window.SetFilterChecked(PictureFilter::HorizontalFlip, (switches & 2) != 0);
    window.SetFilterChecked(PictureFilter::VerticalFlip, (switches & 4) != 0);
    window.SetFilterChecked(PictureFilter::Negative, (switches & 8) != 0);
    window.SetCutChecked((switches & 16) != 0);
    for (int box = 0; box < kTimeBoxCount && !in.Empty(); ++box) {
        window.SetTimeBoxText(static_cast<TimeBox>(box), in.Text('\n'));
    }

    if (window.Confirm() == ConfirmResult::Confirmed) {
        TInputOptions input;
        InitInputOptions(input);
        ApplyFormatSettings(settings, addedAlone, input);
        TOutputOptions output;
        InitOutputOptions(output);
        output.FileName = settings.FmtOutputFile;
        ApplyFormatSettings(settings, addedAlone, output);
    }
    return 0;
}
