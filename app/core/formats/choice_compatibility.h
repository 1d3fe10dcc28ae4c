// Choices that can never give a file: an encoder the container does not take
// (AAC in an MPEG program stream, AC-3 in FLV), or settings the encoder does
// not open with (320 kbps OGG at 11025 Hz). The libraries themselves answer
// (media/output_check.h); this turns their answer into the settings window's
// message.
#pragma once

#include <array>
#include <string>

#include "app/core/formats/format_settings.h"

namespace zorvex::app {

// The message refusing the confirmed settings, naming the encoder (its caption
// and library name) and the container or the settings it refuses; empty when
// the output can be written or the libraries are not loaded. captions are the
// selected captions of the window's lists, indexed by ChoiceKind.
std::string UnwritableChoiceMessage(const TFormatSettings& settings,
                                    const std::array<std::string, 10>& captions);

}  // namespace zorvex::app
