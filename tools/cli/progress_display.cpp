#include "tools/cli/progress_display.h"

#include <unistd.h>

#include <algorithm>

#include "media/util.h"

namespace zorvex::cli {
namespace {

constexpr int kBarCells = 30;

}  // namespace

ProgressDisplay::ProgressDisplay(std::FILE* out, bool terminal, std::string label)
    : out_(out),
      terminal_(terminal),
      label_(std::move(label)),
      start_(Clock::now()),
      lastLine_(start_) {}

bool ProgressDisplay::IsTerminal(std::FILE* stream) {
    return ::isatty(::fileno(stream)) != 0;
}

std::string ProgressDisplay::Text(const TProgressInfo& info, double elapsed) const {
    const bool known = info.TotalDuration > 0;
    const double percent = known ? std::clamp(static_cast<double>(info.CurrentDuration) * 100.0 /
                                                  static_cast<double>(info.TotalDuration),
                                              0.0, 100.0)
                                 : 0.0;
    const double speed =
        elapsed > 0 ? static_cast<double>(info.CurrentDuration) / 1000000.0 / elapsed : 0.0;
    char buffer[256];
    if (terminal_) {
        std::string bar;
        if (known) {
            const int filled = static_cast<int>(percent * kBarCells / 100.0);
            bar = "[" + std::string(static_cast<size_t>(filled), '#') +
                  std::string(static_cast<size_t>(kBarCells - filled), '.') + "] ";
            std::snprintf(buffer, sizeof buffer, "%s%3.0f%%  %s / %s  %.1fx", bar.c_str(), percent,
                          DurationText(info.CurrentDuration).c_str(),
                          DurationText(info.TotalDuration).c_str(), speed);
        } else {
            std::snprintf(buffer, sizeof buffer, "%s  %.1fx  %s",
                          DurationText(info.CurrentDuration).c_str(), speed,
                          SizeText(info.CurrentSize).c_str());
        }
        return buffer;
    }
    if (known) {
        std::snprintf(buffer, sizeof buffer, "progress %.0f%% time=%s speed=%.1fx size=%lld bytes",
                      percent, DurationText(info.CurrentDuration).c_str(), speed,
                      static_cast<long long>(info.CurrentSize));
    } else {
        std::snprintf(buffer, sizeof buffer, "progress time=%s speed=%.1fx size=%lld bytes",
                      DurationText(info.CurrentDuration).c_str(), speed,
                      static_cast<long long>(info.CurrentSize));
    }
    return buffer;
}

void ProgressDisplay::ClearBar() {
    if (!barShown_) return;
    std::fprintf(out_, "\r%s\r", std::string(barWidth_, ' ').c_str());
    barShown_ = false;
}

void ProgressDisplay::Update(const TProgressInfo& info) {
    std::lock_guard lock(mutex_);
    const Clock::time_point now = Clock::now();
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    const std::string text = Text(info, elapsed);
    if (terminal_) {
        std::fprintf(out_, "\r%s", text.c_str());
        if (text.size() < barWidth_) {
            std::fputs(std::string(barWidth_ - text.size(), ' ').c_str(), out_);
        }
        barWidth_ = std::max(barWidth_, text.size());
        barShown_ = true;
        std::fflush(out_);
        return;
    }
    const bool last = info.FileIndex == -1;
    if (!last && anyLine_ && now - lastLine_ < std::chrono::seconds(1)) return;
    lastLine_ = now;
    anyLine_ = true;
    std::fprintf(out_, "%s%s\n", label_.c_str(), text.c_str());
    std::fflush(out_);
}

void ProgressDisplay::Message(const std::string& text) {
    std::lock_guard lock(mutex_);
    ClearBar();
    std::fprintf(out_, "%s\n", text.c_str());
    std::fflush(out_);
}

void ProgressDisplay::Finish() {
    std::lock_guard lock(mutex_);
    if (barShown_) std::fputc('\n', out_);
    barShown_ = false;
    std::fflush(out_);
}

}  // namespace zorvex::cli
