// Shared set-up of the engine tests: loaded libraries, a reset engine and the
// log lines it produced.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "media/engine/engine.h"
#include "media/log.h"
#include "tests/support/fixtures.h"

namespace zorvex::test {

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        LoadConverterLibrariesOrFail();
        Logger().SetTriggerEventInMainThread(false);
        Logger().SetLogLevel(llDebug);
        Logger().SetOnLog(
            [this](TFFLogger*, std::uint32_t, TLogLevel level, const std::string& text) {
                std::lock_guard lock(logLock_);
                logs_.push_back({level, text});
            });
        engine.Reset();
    }
    void TearDown() override { Logger().SetOnLog(nullptr); }

    // The message of the FFmpegException fn throws; empty when it throws none.
    static std::string ErrorOf(const std::function<void()>& fn) {
        try {
            fn();
        } catch (const FFmpegException& x) {
            return x.what();
        }
        return {};
    }
    std::string OptionError(const std::string& name, const std::string& value) {
        return ErrorOf([&] { engine.ParseOption(name, value); });
    }
    void Option(const std::string& name, const std::string& value) {
        const std::string error = OptionError(name, value);
        ASSERT_EQ(error, "") << name << "=" << value;
    }

    // True when a line at that level contains text.
    bool Logged(TLogLevel level, const std::string& text) {
        std::lock_guard lock(logLock_);
        for (const auto& [l, t] : logs_) {
            if (l == level && t.find(text) != std::string::npos) return true;
        }
        return false;
    }
    bool LoggedAnywhere(const std::string& text) {
        std::lock_guard lock(logLock_);
        for (const auto& entry : logs_) {
            if (entry.second.find(text) != std::string::npos) return true;
        }
        return false;
    }
    void ClearLog() {
        std::lock_guard lock(logLock_);
        logs_.clear();
    }

    TCustomFFmpeg engine{20};
    TEngineSettings& S = engine.Settings;

private:
    std::mutex logLock_;
    std::vector<std::pair<TLogLevel, std::string>> logs_;
};

// Small generated media files used by several engine tests.
inline std::string MkvH264Aac() {
    return Fixture("engine_h264_aac_420.mkv",
                   "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 -f lavfi -i "
                   "sine=frequency=440:sample_rate=48000:duration=2 -c:v libx264 -preset ultrafast "
                   "-pix_fmt yuv420p -c:a aac -ac 2");
}
inline std::string Mp3Audio() {
    return Fixture("engine_tone.mp3",
                   "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=2 -c:a libmp3lame");
}
inline std::string MpegAt(const char* name, const char* rate) {
    return Fixture(name, std::string("-f lavfi -i testsrc=size=160x120:rate=") + rate +
                             ":duration=1 -c:v mpeg1video");
}

}  // namespace zorvex::test
