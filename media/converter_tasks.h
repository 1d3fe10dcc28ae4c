// The converter component's tasks and their helpers: the task (an engine with
// the option records that configured it), the task list, the option text
// reader, the timestamp conversion and the preview window of a task.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "media/converter.h"
#include "media/engine/engine.h"

namespace zorvex {

// Inputs and outputs a task can hold.
constexpr int TaskMaxFiles = 20;

// One conversion task.
class DORudov : public TCustomFFmpeg {
public:
    DORudov() : TCustomFFmpeg(TaskMaxFiles) {}
    // The worker's last report reads Index: it must end while Index exists.
    ~DORudov() override { EndThreads(); }

    // The list index the events report; kept by the task list.
    std::atomic<int> Index{-1};
    // Copies of the records that configured each input and output (kept with
    // the task, not read again).
    std::vector<std::optional<TInputOptions>> InputOptions;
    std::vector<std::optional<TOutputOptions>> OutputOptions;
};

// The ordered task list. It owns its tasks; a task taken out with Snapshot
// lives until the last holder lets it go, so that a stop that walks the list
// can never meet a task freed under it.
class DORudovList {
public:
    using TaskPtr = std::shared_ptr<DORudov>;

    int Add(TaskPtr task);
    // Frees the task unless a snapshot still holds it; later tasks move down.
    // An invalid index throws Exception "List index out of bounds (%d)".
    void Delete(int index);
    // Takes every task out of the list; the caller frees them.
    std::vector<TaskPtr> Extract();
    TaskPtr Get(int index) const;  // throws like Delete
    int IndexOf(const DORudov* task) const;
    int Count() const;
    std::vector<TaskPtr> Snapshot() const;

    // Applied to every task in list order.
    void Pause() const;
    void Resume() const;
    void Stop(bool wait) const;
    void SetPreviewFlags(std::uint8_t flags) const;

private:
    mutable std::mutex mutex_;
    std::vector<TaskPtr> tasks_;
};

// One name=value line of an option text.
struct TOptionLine {
    std::string Name;  // lower case
    std::string Value;
};
// Trims characters 0 to 32 at both ends, turns CR LF, CR and the literal
// "<CRLF>" into line breaks and cuts the lines at their first "=".
std::vector<TOptionLine> ParseOptionText(const std::string& text);
// Passes the lines to the engine; the stream-building names (newvideo, apre,
// vf, ...) are skipped, and the codec and size names unless codecNames.
void ApplyOptionText(TCustomFFmpeg& engine, const std::vector<TOptionLine>& lines, bool codecNames);

// A date-time in days since 1899-12-30 00:00 local time as whole seconds since
// 1970-01-01 00:00 UTC; 0 stands for the present moment.
std::int64_t TimestampToUnixSeconds(double value);

// The preview window's caption: "HH:MM:SS.mmm", "N/A" for an unset time.
std::string PreviewTimeText(std::int64_t pts);

// The preview window of one task. Show is called on the task's thread; the
// window is made, painted and freed on the main thread.
class TPreviewer : public TPreviewWindow {
public:
    TPreviewer() = default;
    ~TPreviewer() override;
    bool Show(const TBitmap& bitmap, int frameNumber, std::int64_t pts) override;
    bool Closed() const { return closed_; }

private:
    std::atomic<bool> closed_{false};
    int frameNumber_ = 0;
    std::int64_t pts_ = 0;
    std::unique_ptr<TPreviewSurface> surface_;  // main thread only
};

}  // namespace zorvex
