// The log router: the one place where FFmpeg's log output and the components'
// own messages become whole, levelled lines for one OnLog event.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "media/base_component.h"

namespace zorvex {

enum TLogLevel { llQuiet, llPanic, llFatal, llError, llWarning, llInfo, llVerbose, llDebug };

// FFmpeg log number -> level: ordinal (n div 8, truncated) + 1, clamped to 0..7.
TLogLevel LogLevelFromFFmpeg(int level);
// Level -> FFmpeg log number: (ordinal - 1) * 8.
int LogLevelToFFmpeg(TLogLevel level);

class TFFLogger;
using TLogEvent = std::function<void(TFFLogger* sender, std::uint32_t threadId, TLogLevel level,
                                     const std::string& message)>;

class TFFLogger : public TFFBaseComponent {
public:
    // Only one logger may exist; a second construction throws std::logic_error
    // with "Allow creating only one instance of TFFLogger.".
    TFFLogger();
    ~TFFLogger() override;

    TLogLevel LogLevel() const;
    void SetLogLevel(TLogLevel level);
    // "quiet" .. "debug" (any case) or a decimal FFmpeg number; anything else
    // throws std::invalid_argument.
    void SetLogLevelText(const std::string& text);

    bool TriggerEventInMainThread() const;
    // True: OnLog runs on the main thread; lines from workers are queued and the
    // main thread drains the queue, so a logging worker never waits for it.
    void SetTriggerEventInMainThread(bool value);

    void SetOnLog(TLogEvent handler);

    void Log(const void* sender, TLogLevel level, const std::string& message);
    void LogFmt(const void* sender, TLogLevel level, const char* format, ...)
        __attribute__((format(printf, 4, 5)));

    // Installs the FFmpeg log callback and applies the level; the loader calls it
    // once the utility library is resolved.
    static void InstallLogCallback();
    // The current FFmpeg log number (initially 32, info).
    static int FFmpegLogLevel();

    // Delivers queued main-thread lines now (the main thread calls it; also
    // reached through the posted drains).
    void DrainQueued();

private:
    friend void FFmpegLogCallback(void*, int, const char*, va_list);
    void Deliver(std::uint32_t threadId, TLogLevel level, std::string text);

    struct State;
    State* state_;
};

// Collects the errors (and warnings) FFmpeg logs on the calling thread while it exists,
// whatever the log level, as "name: text" lines ("rv10: width and height must
// be a multiple of 16"), so that a failure can say the library's own reason.
// Captures nest: the innermost one collects.
class FFmpegErrorCapture {
public:
    FFmpegErrorCapture();
    ~FFmpegErrorCapture();
    FFmpegErrorCapture(const FFmpegErrorCapture&) = delete;
    FFmpegErrorCapture& operator=(const FFmpegErrorCapture&) = delete;

    // The distinct error lines joined by "; ", or the warnings when no error was
    // logged (some refusals are only warned about); empty when neither.
    std::string Text() const;
    // message followed by the captured reason, when there is one.
    std::string Append(const std::string& message) const;

private:
    friend void FFmpegLogCallback(void*, int, const char*, va_list);
    struct Lines {
        std::vector<std::string> done;
        std::string pending;
        void Add(const char* name, const char* text);
        std::string Text() const;
    };
    static constexpr size_t kMaxLines = 4;
    FFmpegErrorCapture* previous_;
    Lines errors_, warnings_;
};

// The process-wide logger, created without an owner on first use.
TFFLogger& Logger();
// The logger if one exists, without creating one.
TFFLogger* ExistingLogger();

// The calling thread's id as shown in log lines.
std::uint32_t CurrentThreadId();

}  // namespace zorvex
