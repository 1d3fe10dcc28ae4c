#include "media/converter_tasks.h"

#include <cmath>
#include <cstdio>
#include <ctime>

#include "media/exception.h"
#include "media/main_thread.h"
#include "media/text.h"

namespace zorvex {

// ---------------------------------------------------------------------------
// DORudovList

namespace {
[[noreturn]] void IndexError(int index) {
    throw Exception(text::Fmt("List index out of bounds (%d)", index));
}
}  // namespace

int DORudovList::Add(TaskPtr task) {
    std::lock_guard lock(mutex_);
    task->Index = static_cast<int>(tasks_.size());
    tasks_.push_back(std::move(task));
    return static_cast<int>(tasks_.size()) - 1;
}

void DORudovList::Delete(int index) {
    TaskPtr removed;
    {
        std::lock_guard lock(mutex_);
        if (index < 0 || index >= static_cast<int>(tasks_.size())) IndexError(index);
        removed = std::move(tasks_[static_cast<size_t>(index)]);
        tasks_.erase(tasks_.begin() + index);
        for (size_t i = static_cast<size_t>(index); i < tasks_.size(); ++i) {
            tasks_[i]->Index = static_cast<int>(i);
        }
    }
    // removed is freed here, outside the lock: freeing waits for its threads.
}

std::vector<DORudovList::TaskPtr> DORudovList::Extract() {
    std::lock_guard lock(mutex_);
    std::vector<TaskPtr> out;
    out.swap(tasks_);
    return out;
}

DORudovList::TaskPtr DORudovList::Get(int index) const {
    std::lock_guard lock(mutex_);
    if (index < 0 || index >= static_cast<int>(tasks_.size())) IndexError(index);
    return tasks_[static_cast<size_t>(index)];
}

int DORudovList::IndexOf(const DORudov* task) const {
    std::lock_guard lock(mutex_);
    for (size_t i = 0; i < tasks_.size(); ++i) {
        if (tasks_[i].get() == task) return static_cast<int>(i);
    }
    return -1;
}

int DORudovList::Count() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(tasks_.size());
}

std::vector<DORudovList::TaskPtr> DORudovList::Snapshot() const {
    std::lock_guard lock(mutex_);
    return tasks_;
}

void DORudovList::Pause() const {
    for (const TaskPtr& t : Snapshot()) t->Pause();
}

void DORudovList::Resume() const {
    for (const TaskPtr& t : Snapshot()) t->Resume();
}

void DORudovList::Stop(bool wait) const {
    for (const TaskPtr& t : Snapshot()) t->Stop(wait);
}

void DORudovList::SetPreviewFlags(std::uint8_t flags) const {
    for (const TaskPtr& t : Snapshot()) t->SetPreviewFlags(flags);
}

// ---------------------------------------------------------------------------
// Option text

std::vector<TOptionLine> ParseOptionText(const std::string& source) {
    const std::string trimmed = text::Trim(source);
    std::string s;
    s.reserve(trimmed.size());
    for (size_t i = 0; i < trimmed.size(); ++i) {
        const char c = trimmed[i];
        if (c == '\r') {
            s += '\n';
            if (i + 1 < trimmed.size() && trimmed[i + 1] == '\n') ++i;
        } else if (trimmed.compare(i, 6, "<CRLF>") == 0) {
            s += '\n';
            i += 5;
        } else {
            s += c;
        }
    }
    std::vector<TOptionLine> lines;
    if (s.empty()) return lines;
    size_t start = 0;
    for (;;) {
        const size_t end = s.find('\n', start);
        const std::string line = s.substr(start, end == std::string::npos ? end : end - start);
        TOptionLine l;
        const size_t eq = line.find('=');
        l.Name = text::Lower(line.substr(0, eq));
        if (eq != std::string::npos) l.Value = line.substr(eq + 1);
        lines.push_back(std::move(l));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return lines;
}

void ApplyOptionText(TCustomFFmpeg& engine, const std::vector<TOptionLine>& lines,
                     bool codecNames) {
    static const char* const kStreamNames[] = {"newvideo", "newaudio", "newsubtitle", "apre",
                                               "vpre",     "spre",     "vfilters",    "vf"};
    static const char* const kCodecNames[] = {"acodec", "vcodec", "scodec", "s"};
    auto among = [](const std::string& name, const auto& names) {
        for (const char* n : names) {
            if (name == n) return true;
        }
        return false;
    };
    for (const TOptionLine& line : lines) {
        if (among(line.Name, kStreamNames)) continue;
        if (!codecNames && among(line.Name, kCodecNames)) continue;
        if (line.Name.empty()) continue;  // an empty line has no effect
        engine.ParseOption(line.Name, line.Value);
    }
}

// ---------------------------------------------------------------------------
// Timestamp

std::int64_t TimestampToUnixSeconds(double value) {
    // "Now" is the present moment itself; working it out through the local
    // date-time and the zone's standard offset would be an hour off in summer.
    if (value == 0) return static_cast<std::int64_t>(std::time(nullptr));
    ::tzset();
    const double offsetDays = -static_cast<double>(::timezone) / 86400.0;  // standard time
    return std::llround((value - 25569.0 - offsetDays) * 86400.0);
}

std::string PreviewTimeText(std::int64_t pts) {
    if (pts == NoPtsValue) return "N/A";
    const bool negative = pts < 0;
    std::int64_t ms = (negative ? -pts : pts) / 1000;
    const int millis = static_cast<int>(ms % 1000);
    ms /= 1000;
    const int seconds = static_cast<int>(ms % 60);
    ms /= 60;
    const int minutes = static_cast<int>(ms % 60);
    const long long hours = ms / 60;
    return text::Fmt("%s%.2lld:%.2d:%.2d.%.3d", negative ? "-" : "", hours, minutes, seconds,
                     millis);
}

// ---------------------------------------------------------------------------
// TPreviewer

TPreviewer::~TPreviewer() {
    if (!surface_) return;
    if (IsMainThread()) {
        surface_.reset();
        return;
    }
    // Freed on the main thread without waiting for it: the task may be freed
    // on a thread the main thread is itself waiting for.
    auto surface = std::make_shared<std::unique_ptr<TPreviewSurface>>(std::move(surface_));
    PostToMainThread([surface] { surface->reset(); });
}

bool TPreviewer::Show(const TBitmap& bitmap, int frameNumber, std::int64_t pts) {
    if (closed_) return false;
    frameNumber_ = frameNumber;
    pts_ = pts;
    RunInMainThread([&] {
        if (!surface_) {
            if (TPreviewWindowFactory factory = GetPreviewWindowFactory()) {
                surface_ = factory(bitmap.Width, bitmap.Height);
            }
            if (!surface_) {
                closed_ = true;
                return;
            }
        }
        if (!surface_->Paint(bitmap, PreviewTimeText(pts_))) closed_ = true;
    });
    return !closed_;
}

}  // namespace zorvex
