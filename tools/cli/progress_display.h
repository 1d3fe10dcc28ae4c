// The progress of one conversion on a stream: a bar redrawn in place when the
// stream is a terminal, otherwise one line per second (and one for the end).
// Shared by the commands that convert.
#pragma once

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

#include "media/converter_options.h"

namespace zorvex::cli {

class ProgressDisplay {
public:
    // label starts every line (not the bar), e.g. "INPUT: ".
    ProgressDisplay(std::FILE* out, bool terminal, std::string label = {});
    static bool IsTerminal(std::FILE* stream);

    // From any thread; the final report has FileIndex -1.
    void Update(const TProgressInfo& info);
    // Prints a line of other text without breaking the bar.
    void Message(const std::string& text);
    // Ends the bar's line.
    void Finish();

    // The text shown for a report, e.g. "[#####.....]  50%  00:00:05.00 / 00:00:10.00  2.0x"
    // (terminal) or "progress 50% time=00:00:05.00 speed=2.0x size=1048576 bytes".
    std::string Text(const TProgressInfo& info, double elapsedSeconds) const;

private:
    using Clock = std::chrono::steady_clock;
    void ClearBar();

    std::mutex mutex_;
    std::FILE* out_;
    bool terminal_;
    std::string label_;
    Clock::time_point start_;
    Clock::time_point lastLine_;
    bool anyLine_ = false;
    bool barShown_ = false;
    std::size_t barWidth_ = 0;
};

}  // namespace zorvex::cli
