// The pending format settings of the main window, their confirmation from the
// settings window's choices, and their application to a task's option records.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "media/converter_options.h"

namespace zorvex::app {

// Held by the main window, one instance shared by all adds. Texts are UTF-8.
struct TFormatSettings {
    std::string FmtSourceFile;  // set by the main window; not reset
    std::string FmtOutputFile;
    std::string FmtExtTag;
    std::string FmtChannels;    // "2", "1"
    std::string FmtSampleRate;  // Hz as text, or "AUTO"
    std::string FmtFrameSize;   // as chosen, e.g. "480*272  (PSP 3.03或更高固件版本适用)"
    std::string FmtFrameRate;   // as chosen, e.g. "23.97"
    std::string FmtNorm;        // "PAL", "NTSC"
    std::string FmtFilters;     // "hflip,vflip,negate"
    std::string FmtVolume = "256";
    std::string FmtAspect;  // "4:3", "16:9"
    std::string FmtVideoCodec;
    std::string FmtAudioCodec;          // "AUTO" or empty: the container's default
    std::string FmtContainer;           // "mov", "asf"
    std::string FmtTarget;              // "vcd", "svcd", "dvd"
    std::string FmtVideoTag;            // "DX50", "XVID"
    std::int32_t FmtVideoBitRate = -1;  // bit/s; -1000 = not set
    std::int32_t FmtAudioBitRate = -1;  // bit/s; -1000 = not set
    bool FmtAudioOnly = false;
    std::int64_t FmtCutStart = -1;   // milliseconds
    std::int64_t FmtCutLength = -1;  // milliseconds
    std::string FmtCutMode;          // "Select" or "NoSelect"; not reset
};

// The pending settings reset at the start of every add command: all texts but
// FmtSourceFile and FmtCutMode emptied, FmtVolume "256", the numbers -1,
// FmtAudioOnly false.
void ResetFormatSettings(TFormatSettings& settings);

// The six time boxes of the cut range, in window order.
enum TimeBox {
    tbStartHours,
    tbStartMinutes,
    tbStartSeconds,
    tbStopHours,
    tbStopMinutes,
    tbStopSeconds
};
constexpr int kTimeBoxCount = 6;

// What the confirmation reads from the settings window.
struct SettingsSelection {
    // The selected caption of each list, indexed by ChoiceKind.
    std::array<std::string, 10> captions;
    bool hflip = false, vflip = false, negate = false;
    bool cutChecked = false;
    // Empty boxes are filled with "00" by the confirmation.
    std::array<std::string, kTimeBoxCount> timeBoxes;
    std::string sourceDuration;      // whole seconds as text; empty when unknown
    std::string mediaKind;           // "Vedio" or "Music"
    std::string discTarget;          // "vcd", "svcd", "dvd" or empty
    std::string proposedOutputFile;  // as proposed when the window was shown
    std::string outputFolder;        // the main window's output folder
};

enum class ConfirmResult {
    Confirmed,          // both windows close
    StopAfterDuration,  // cut stop beyond the source's length; windows stay
    StopNotAfterStart,  // cut stop at or before its start; windows stay
};

// The message shown for a refused cut range (caption "提示"); empty for Confirmed.
const char* ConfirmMessage(ConfirmResult result);
inline constexpr const char* kPromptCaption = "提示";

// Turns the selected captions into the format settings, in the fixed step order
// (a disc encoder clears what the earlier steps set, and later steps set values
// again), then checks the cut range.
ConfirmResult ConfirmFormatSettings(SettingsSelection& selection, TFormatSettings& settings);

// Input half: the cut start, for a file added alone with a confirmed cut range.
void ApplyFormatSettings(const TFormatSettings& settings, bool addedAlone, TInputOptions& input);
// Output half: everything else, on a record whose FileName is already set.
// Encoder names the libraries lack are replaced (libfaac -> aac) with a log line.
void ApplyFormatSettings(const TFormatSettings& settings, bool addedAlone, TOutputOptions& output);

// The volume value (0..2048, "256" unchanged) of a volume caption; empty when
// the caption is not one of the list's.
std::string VolumeForCaption(const std::string& caption);

// folder + "/" + the file-name part of path with its extension replaced.
std::string OutputPathFor(const std::string& folder, const std::string& path,
                          const std::string& newExtension);
// The file-name part of a path (after the last "/").
std::string FileNameOf(const std::string& path);

}  // namespace zorvex::app
