#include "media/log.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <deque>
#include <memory>
#include <stdexcept>
#include <unordered_map>

#include "media/ffapi.h"
#include "media/main_thread.h"

namespace zorvex {
namespace {

constexpr const char* kOnlyOneInstance = "Allow creating only one instance of TFFLogger.";
constexpr size_t kFormatBufferSize = 2048;

std::mutex g_instanceMutex;
std::atomic<TFFLogger*> g_instance{nullptr};
std::unique_ptr<TFFLogger> g_ownerless;  // the logger Logger() created itself
std::atomic<int> g_ffmpegLogLevel{32};

// Pending text per thread for FFmpeg's fragments, until a line feed completes it.
struct TLogList {
    std::mutex lock;
    std::unordered_map<std::uint32_t, std::string> pending;
};
TLogList& LineBuffers() {
    static TLogList list;
    return list;
}

struct QueuedLine {
    std::uint32_t threadId;
    TLogLevel level;
    std::string text;
};

}  // namespace

struct TFFLogger::State {
    mutable std::mutex lock;
    TLogLevel level = llInfo;
    bool mainThread = true;
    std::shared_ptr<const TLogEvent> handler;
    std::deque<QueuedLine> queue;  // lines waiting for the main thread
};

TLogLevel LogLevelFromFFmpeg(int level) {
    int ordinal = level / 8 + 1;  // C++ division truncates toward zero
    return static_cast<TLogLevel>(std::clamp(ordinal, 0, 7));
}

int LogLevelToFFmpeg(TLogLevel level) {
    return (static_cast<int>(level) - 1) * 8;
}

std::uint32_t CurrentThreadId() {
    return static_cast<std::uint32_t>(::syscall(SYS_gettid));
}

TFFLogger::TFFLogger() : state_(new State) {
    std::lock_guard guard(g_instanceMutex);
    if (g_instance != nullptr) {
        delete state_;
        throw std::logic_error(kOnlyOneInstance);
    }
    state_->level = LogLevelFromFFmpeg(g_ffmpegLogLevel);
    g_instance = this;
}

TFFLogger::~TFFLogger() {
    {
        std::lock_guard guard(g_instanceMutex);
        if (g_instance == this) g_instance = nullptr;
    }
    delete state_;
}

TLogLevel TFFLogger::LogLevel() const {
    std::lock_guard lock(state_->lock);
    return state_->level;
}

void TFFLogger::SetLogLevel(TLogLevel level) {
    {
        std::lock_guard lock(state_->lock);
        if (state_->level == level) return;
        state_->level = level;
    }
    // Remembered even before the utility library is loaded: InstallLogCallback
    // hands it to FFmpeg then.
    g_ffmpegLogLevel = LogLevelToFFmpeg(level);
    if (ff::av_log_set_level != nullptr) ff::av_log_set_level(g_ffmpegLogLevel);
}

void TFFLogger::SetLogLevelText(const std::string& text) {
    static const char* const kNames[] = {"quiet",   "panic", "fatal",   "error",
                                         "warning", "info",  "verbose", "debug"};
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (int i = 0; i < 8; ++i) {
        if (lower == kNames[i]) {
            SetLogLevel(static_cast<TLogLevel>(i));
            return;
        }
    }
    size_t used = 0;
    int number = 0;
    try {
        number = std::stoi(text, &used, 10);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != text.size()) {
        throw std::invalid_argument("'" + text + "' is not a valid integer value");
    }
    SetLogLevel(LogLevelFromFFmpeg(number));
}

bool TFFLogger::TriggerEventInMainThread() const {
    std::lock_guard lock(state_->lock);
    return state_->mainThread;
}

void TFFLogger::SetTriggerEventInMainThread(bool value) {
    std::lock_guard lock(state_->lock);
    state_->mainThread = value;
}

void TFFLogger::SetOnLog(TLogEvent handler) {
    std::lock_guard lock(state_->lock);
    state_->handler = handler ? std::make_shared<const TLogEvent>(std::move(handler)) : nullptr;
}

void TFFLogger::Log(const void* /*sender*/, TLogLevel level, const std::string& message) {
    TLogLevel current;
    {
        std::lock_guard lock(state_->lock);
        if (!state_->handler) return;
        current = state_->level;
    }
    // The engine's periodic status line is logged at verbose and passes at every
    // level except quiet.
    if (level <= current || (level == llVerbose && current != llQuiet)) {
        Deliver(CurrentThreadId(), level, message);
    }
}

void TFFLogger::LogFmt(const void* sender, TLogLevel level, const char* format, ...) {
    char buffer[kFormatBufferSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    Log(sender, level, buffer);
}

void TFFLogger::Deliver(std::uint32_t threadId, TLogLevel level, std::string text) {
    std::shared_ptr<const TLogEvent> handler;
    bool viaMainThread;
    {
        std::lock_guard lock(state_->lock);
        handler = state_->handler;
        viaMainThread = state_->mainThread;
    }
    if (!handler) return;
    if (viaMainThread && GetMainThreadDispatcher() != nullptr && !IsMainThread()) {
        bool first;
        {
            std::lock_guard lock(state_->lock);
            first = state_->queue.empty();
            state_->queue.push_back({threadId, level, std::move(text)});
        }
        if (first) {
            PostToMainThread([] {
                if (TFFLogger* logger = ExistingLogger()) logger->DrainQueued();
            });
        }
        return;
    }
    if (viaMainThread) DrainQueued();  // keep earlier worker lines ahead of this one
    (*handler)(this, threadId, level, text);
}

void TFFLogger::DrainQueued() {
    for (;;) {
        std::deque<QueuedLine> lines;
        std::shared_ptr<const TLogEvent> handler;
        {
            std::lock_guard lock(state_->lock);
            lines.swap(state_->queue);
            handler = state_->handler;
        }
        if (lines.empty()) return;
        if (!handler) continue;
        for (const QueuedLine& l : lines) (*handler)(this, l.threadId, l.level, l.text);
    }
}

int TFFLogger::FFmpegLogLevel() {
    return g_ffmpegLogLevel;
}

namespace {

thread_local FFmpegErrorCapture* t_capture = nullptr;

}  // namespace

FFmpegErrorCapture::FFmpegErrorCapture() : previous_(t_capture) {
    t_capture = this;
}

FFmpegErrorCapture::~FFmpegErrorCapture() {
    t_capture = previous_;
}

void FFmpegErrorCapture::Lines::Add(const char* name, const char* text) {
    if (pending.empty() && name != nullptr && *name != '\0') pending = std::string(name) + ": ";
    pending += text;
    size_t lf;
    while ((lf = pending.find('\n')) != std::string::npos) {
        std::string line = pending.substr(0, lf);
        pending.erase(0, lf + 1);
        while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) {
            line.pop_back();
        }
        if (!line.empty() && done.size() < kMaxLines &&
            std::find(done.begin(), done.end(), line) == done.end()) {
            done.push_back(std::move(line));
        }
    }
}

std::string FFmpegErrorCapture::Lines::Text() const {
    std::string text;
    for (const std::string& line : done) text += (text.empty() ? "" : "; ") + line;
    if (!pending.empty()) text += (text.empty() ? "" : "; ") + pending;
    return text;
}

std::string FFmpegErrorCapture::Text() const {
    const std::string errors = errors_.Text();
    return errors.empty() ? warnings_.Text() : errors;
}

std::string FFmpegErrorCapture::Append(const std::string& message) const {
    const std::string reason = Text();
    if (reason.empty()) return message;
    return message + (!message.empty() && message.back() == '.' ? " " : ": ") + reason;
}

void FFmpegLogCallback(void* context, int level, const char* format, va_list args) {
    if (t_capture != nullptr && level <= AV_LOG_WARNING) {
        const char* name = nullptr;
        if (context != nullptr) {
            const AVClass* avc = *static_cast<AVClass**>(context);
            if (avc != nullptr && avc->item_name != nullptr) name = avc->item_name(context);
        }
        char text[kFormatBufferSize] = {};
        va_list copy;
        va_copy(copy, args);
        std::vsnprintf(text, sizeof text, format, copy);
        va_end(copy);
        (level <= AV_LOG_ERROR ? t_capture->errors_ : t_capture->warnings_).Add(name, text);
    }
    if (level > g_ffmpegLogLevel) return;
    TFFLogger* logger = g_instance;
    if (logger == nullptr) return;

    char prefix[256] = "";
    if (context != nullptr) {
        const AVClass* avc = *static_cast<AVClass**>(context);
        const char* name =
            (avc != nullptr && avc->item_name != nullptr) ? avc->item_name(context) : "NULL";
        std::snprintf(prefix, sizeof prefix, "[%s @ %p]", name, context);
    }
    char text[kFormatBufferSize] = {};
    std::vsnprintf(text, sizeof text, format, args);

    const std::uint32_t tid = CurrentThreadId();
    std::vector<std::string> lines;
    {
        TLogList& list = LineBuffers();
        std::lock_guard lock(list.lock);
        std::string& pending = list.pending[tid];
        if (pending.empty()) pending = prefix;  // later fragments drop their prefix
        pending += text;
        size_t lf;
        while ((lf = pending.find('\n')) != std::string::npos) {
            lines.push_back(pending.substr(0, lf));
            pending.erase(0, lf + 1);
        }
    }
    for (std::string& line : lines)
        logger->Deliver(tid, LogLevelFromFFmpeg(level), std::move(line));
}

void TFFLogger::InstallLogCallback() {
    if (ff::av_log_set_callback == nullptr || ff::av_log_set_level == nullptr) {
        throw std::logic_error("InstallLogCallback: FFmpeg log entry points not loaded");
    }
    ff::av_log_set_callback(&FFmpegLogCallback);
    ff::av_log_set_level(g_ffmpegLogLevel);
}

TFFLogger& Logger() {
    static std::mutex createMutex;
    std::lock_guard guard(createMutex);
    if (TFFLogger* existing = g_instance) return *existing;
    g_ownerless = std::make_unique<TFFLogger>();
    return *g_ownerless;
}

TFFLogger* ExistingLogger() {
    return g_instance;
}

}  // namespace zorvex
