#include "media/player/player.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <thread>

#include "media/ffapi.h"
#include "media/loader.h"
#include "media/log.h"
#include "tests/media/player/player_support.h"

namespace zorvex {
namespace {

using namespace std::chrono_literals;
using test::PlayerRecorder;

bool IsGrey(std::uint32_t pixel) {
    const int r = (pixel >> 16) & 0xFF, g = (pixel >> 8) & 0xFF, b = pixel & 0xFF;
    return std::abs(r - 0x80) < 12 && std::abs(g - 0x80) < 12 && std::abs(b - 0x80) < 12;
}

TEST(Player, OpenedPausedShowsItsPictureAndEndsInPause) {
    test::LoadPlayerLibrariesOrFail();
    TMemoryDisplaySurface panel(313, 190);
    PlayerRecorder recorder;
    TDIZuvore player;
    recorder.Attach(player);
    ASSERT_TRUE(player.Open(test::VideoWithSound(), &panel, true)) << player.LastError();
    ASSERT_TRUE(recorder.WaitForState(psPause));
    ASSERT_TRUE(panel.WaitForPresentCount(0, 5s));
    std::this_thread::sleep_for(300ms);  // nothing may move on while paused
    EXPECT_EQ(player.State(), psPause);
    EXPECT_EQ(recorder.States(), (std::vector<TPlayState>{psPlay, psPause}));

    // The picture fills the panel's height, centred, with black bands.
    const TDisplayImage image = panel.LastImage();
    ASSERT_EQ(image.Width, 313);
    ASSERT_EQ(image.Height, 190);
    EXPECT_EQ(image.Pixel(5, 95), TDisplayImage::Black);
    EXPECT_NE(image.Pixel(156, 95), TDisplayImage::Black);

    std::int64_t time = 0;
    const TBitmap frame = player.CurrentFrame(time);
    EXPECT_EQ(frame.Width, 320);
    EXPECT_EQ(frame.Height, 240);
    EXPECT_GE(time, 0);
    EXPECT_LE(time, 80000);  // one of the two opening pictures
    player.Close(true);
    EXPECT_EQ(recorder.States().back(), psStop);
    EXPECT_FALSE(player.Playing());
}

TEST(Player, PlaysToTheEndOnceWithoutPassingTheDuration) {
    test::LoadPlayerLibrariesOrFail();
    const std::string file = test::Fixture(
        "player_short.avi",
        "-f lavfi -i testsrc=size=160x120:rate=25 -f lavfi -i sine=sample_rate=22050 -t 0.8 "
        "-c:v mpeg4 -c:a pcm_s16le");
    TMemoryDisplaySurface panel(160, 120);
    PlayerRecorder recorder;
    TDIZuvore player;
    recorder.Attach(player);
    std::int64_t duration = 0;
    player.OnFileOpen = [&](TCustomPlayer*, std::int64_t d, int w, int h, int&, int&) {
        duration = d;
        EXPECT_EQ(w, 160);
        EXPECT_EQ(h, 120);
    };
    ASSERT_TRUE(player.Open(file, &panel, false)) << player.LastError();
    EXPECT_GT(duration, 700000);
    ASSERT_TRUE(recorder.WaitForState(psEnd, 10s));
    std::this_thread::sleep_for(600ms);  // the end stays reported once
    EXPECT_EQ(recorder.Count(psEnd), 1);
    const auto positions = recorder.Positions();
    ASSERT_FALSE(positions.empty());
    for (std::int64_t p : positions) {
        EXPECT_GE(p, 0);
        EXPECT_LE(p, duration);
    }
    // Positions closer than 10 ms to the last one reported are not reported.
    EXPECT_GE(positions.back(), duration - 10000);
    player.Close(true);
    const auto states = recorder.States();
    EXPECT_EQ(states.front(), psPlay);
    EXPECT_EQ(states.back(), psStop);
    EXPECT_EQ(player.State(), psStop);
}

TEST(Player, FitsThePictureIntoThePanel) {
    test::LoadPlayerLibrariesOrFail();
    struct Case {
        float aspect;
        int left, width;  // the picture's columns; all 190 rows are covered
    } cases[] = {
        {0.0f, 30, 252},  // 640 x 480 keeps 4:3 with black bands
        {-1.0f, 0, 312},  // fills the panel (an even width: the last column stays black)
        {1.0f, 61, 190},  // forced 1:1
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.aspect);
        TMemoryDisplaySurface panel(313, 190);
        PlayerRecorder recorder;
        TDIZuvore player;
        player.SetAspectRatio(c.aspect);
        recorder.Attach(player);
        ASSERT_TRUE(player.Open(test::Grey640x480(), &panel, true)) << player.LastError();
        ASSERT_TRUE(recorder.WaitForState(psPause));
        ASSERT_TRUE(panel.WaitForPresentCount(0, 5s));
        const TDisplayImage image = panel.LastImage();
        for (int y : {0, 95, 189}) {
            if (c.left > 0) {
                EXPECT_EQ(image.Pixel(c.left - 1, y), TDisplayImage::Black) << y;
            }
            EXPECT_TRUE(IsGrey(image.Pixel(c.left, y))) << y;
            EXPECT_TRUE(IsGrey(image.Pixel(c.left + c.width - 1, y))) << y;
            if (c.left + c.width < 313) {
                EXPECT_EQ(image.Pixel(c.left + c.width, y), TDisplayImage::Black) << y;
            }
        }
        player.Close(true);
    }
}

TEST(Player, AspectChangeAndResizeRedrawWhilePaused) {
    test::LoadPlayerLibrariesOrFail();
    TMemoryDisplaySurface panel(313, 190);
    PlayerRecorder recorder;
    TDIZuvore player;
    recorder.Attach(player);
    ASSERT_TRUE(player.Open(test::Grey640x480(), &panel, true)) << player.LastError();
    ASSERT_TRUE(recorder.WaitForState(psPause));
    ASSERT_TRUE(panel.WaitForPresentCount(0, 5s));

    // The opening pictures may still be drawn meanwhile: wait for the redraw
    // that shows the change rather than for any drawing.
    const auto redrawn = [&](const std::function<bool(const TDisplayImage&)>& shows) {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (std::chrono::steady_clock::now() < deadline) {
            if (shows(panel.LastImage())) return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    };
    player.SetAspectRatio(-1.0f);
    EXPECT_TRUE(redrawn([](const TDisplayImage& image) { return IsGrey(image.Pixel(0, 0)); }));

    panel.Resize(400, 100);
    ASSERT_TRUE(redrawn([](const TDisplayImage& image) { return image.Width == 400; }));
    const TDisplayImage image = panel.LastImage();
    EXPECT_EQ(image.Height, 100);
    EXPECT_EQ(player.ScreenWidth(), 400);
    EXPECT_TRUE(IsGrey(image.Pixel(399, 99)));
}

TEST(Player, SilentStereoFileDrawsItsWaveDisplay) {
    test::LoadPlayerLibrariesOrFail();
    TMemoryDisplaySurface panel(313, 190);
    TDIZuvore player;
    ASSERT_TRUE(player.Open(test::SilentStereo(), &panel, false)) << player.LastError();
    ASSERT_TRUE(panel.WaitForPresentCount(5, 5s));
    const TDisplayImage image = panel.LastImage();
    ASSERT_EQ(image.Width, 313);
    // Two bands of 95 rows with flat waves: black, and one white line between them.
    for (int y = 0; y < 190; ++y) {
        for (int x = 0; x < 313; x += 13) {
            ASSERT_EQ(image.Pixel(x, y), y == 95 ? TDisplayImage::White : TDisplayImage::Black)
                << x << "," << y;
        }
    }
    std::int64_t time = 0;
    EXPECT_TRUE(player.CurrentFrame(time).Empty());
    EXPECT_EQ(time, -1);
}

TEST(Player, ToneDrawsWavesInBothBands) {
    test::LoadPlayerLibrariesOrFail();
    TMemoryDisplaySurface panel(313, 190);
    TDIZuvore player;
    ASSERT_TRUE(player.Open(test::ToneStereo(), &panel, false)) << player.LastError();
    ASSERT_TRUE(panel.WaitForPresentCount(10, 5s));
    const TDisplayImage image = panel.LastImage();
    int whiteAbove = 0, whiteBelow = 0;
    for (int y = 0; y < 190; ++y) {
        if (y == 95) continue;
        for (int x = 0; x < 313; ++x) {
            if (image.Pixel(x, y) == TDisplayImage::White) (y < 95 ? whiteAbove : whiteBelow)++;
        }
    }
    EXPECT_GT(whiteAbove, 313);
    EXPECT_GT(whiteBelow, 313);
}

TEST(Player, MuteWritesSilenceWhileTheClockAdvances) {
    test::LoadPlayerLibrariesOrFail();
    for (bool mute : {true, false}) {
        SCOPED_TRACE(mute);
        PlayerRecorder recorder;
        TDIZuvore player;
        player.SetMute(mute);
        recorder.Attach(player);
        std::atomic<int> loudest{0};
        std::atomic<long long> bytes{0};
        player.SetAudioMonitor([&](const std::uint8_t* data, int length) {
            const auto* samples = reinterpret_cast<const std::int16_t*>(data);
            for (int i = 0; i < length / 2; ++i) {
                loudest = std::max(loudest.load(), std::abs(static_cast<int>(samples[i])));
            }
            bytes += length;
        });
        ASSERT_TRUE(player.Open(test::ToneStereo(), nullptr, false)) << player.LastError();
        EXPECT_TRUE(recorder.WaitForPosition(500000, 5s));
        player.Close(true);
        EXPECT_GT(bytes.load(), 0);
        if (mute) {
            EXPECT_EQ(loudest.load(), 0);
        } else {
            EXPECT_GT(loudest.load(), 1000);
        }
    }
}

TEST(Player, VolumeScalesTheSound) {
    test::LoadPlayerLibrariesOrFail();
    PlayerRecorder recorder;
    std::atomic<int> loudest{0};
    TDIZuvore player;
    recorder.Attach(player);
    player.SetAudioVolume(0);
    player.SetAudioMonitor([&](const std::uint8_t* data, int length) {
        const auto* samples = reinterpret_cast<const std::int16_t*>(data);
        for (int i = 0; i < length / 2; ++i) {
            loudest = std::max(loudest.load(), std::abs(static_cast<int>(samples[i])));
        }
    });
    ASSERT_TRUE(player.Open(test::ToneStereo(), nullptr, false)) << player.LastError();
    EXPECT_TRUE(recorder.WaitForPosition(300000, 5s));
    EXPECT_EQ(loudest.load(), 0);
    EXPECT_EQ(player.AudioVolume(), 0);
    player.SetAudioVolume(500);
    EXPECT_EQ(player.AudioVolume(), 128);
}

TEST(Player, SeekWhilePausedShowsThePictureThere) {
    test::LoadPlayerLibrariesOrFail();
    TMemoryDisplaySurface panel(320, 240);
    PlayerRecorder recorder;
    TDIZuvore player;
    recorder.Attach(player);
    ASSERT_TRUE(player.Open(test::VideoWithSound(), &panel, true)) << player.LastError();
    ASSERT_TRUE(recorder.WaitForState(psPause));
    player.Seek(0, true, 1000000);
    std::int64_t time = -1;
    for (int i = 0; i < 100; ++i) {  // the refresh shows the new picture shortly after
        player.CurrentFrame(time);
        if (time >= 900000) break;
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_GE(time, 900000);
    EXPECT_LE(time, 1100000);
    EXPECT_EQ(player.State(), psPause);

    // Beyond the end: limited to the duration, and positions stay within it.
    player.Resume();
    player.Seek(0, true, 60000000);
    ASSERT_TRUE(recorder.WaitForState(psEnd, 10s));
    for (std::int64_t p : recorder.Positions()) EXPECT_LE(p, 2000000);
}

TEST(Player, SeekWithWaitReturnsWithThePictureThere) {
    test::LoadPlayerLibrariesOrFail();
    // Small enough to be read whole at once; every picture a key frame, so a
    // seek lands on the picture it asks for.
    const std::string file = test::Fixture(
        "player_small_intra.avi",
        "-f lavfi -i testsrc=size=160x120:rate=25 -f lavfi -i sine=sample_rate=22050 -t 2 "
        "-c:v mpeg4 -g 1 -q:v 8 -c:a pcm_s16le");
    for (bool paused : {true, false}) {
        SCOPED_TRACE(paused ? "paused" : "playing");
        TMemoryDisplaySurface panel(160, 120);
        PlayerRecorder recorder;
        TDIZuvore player;
        recorder.Attach(player);
        ASSERT_TRUE(player.Open(file, &panel, true)) << player.LastError();
        ASSERT_TRUE(recorder.WaitForState(psPause));
        if (!paused) player.Resume();
        for (std::int64_t target : {1200000, 400000, 1600000, 0}) {
            player.Seek(0, true, target);
            std::int64_t time = -1;
            const TBitmap frame = player.CurrentFrame(time);
            EXPECT_EQ(frame.Width, 160) << target;
            EXPECT_GE(time, target - 40000) << target;
            // Playing goes on from there meanwhile, but not far.
            EXPECT_LE(time, target + (paused ? 40000 : 300000)) << target;
        }
    }
}

TEST(Player, SeekAfterTheEndPlaysOnFromThere) {
    test::LoadPlayerLibrariesOrFail();
    const std::string file = test::Fixture(
        "player_short_video.avi", "-f lavfi -i testsrc=size=160x120:rate=25 -t 0.4 -c:v mpeg4");
    TMemoryDisplaySurface panel(160, 120);
    PlayerRecorder recorder;
    TDIZuvore player;
    recorder.Attach(player);
    ASSERT_TRUE(player.Open(file, &panel, false)) << player.LastError();
    // Each time from the end, as the slider does: no wait, the video thread
    // idle. The picture froze in about one seek of five.
    for (int round = 1; round <= 8; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(recorder.WaitForEnds(round, 10s));
        std::this_thread::sleep_for(100ms);
        player.Seek(0, false, 0);
        std::int64_t time = -1;
        const auto deadline = std::chrono::steady_clock::now() + 2s;
        bool movedOn = false;
        while (!movedOn && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(10ms);
            player.CurrentFrame(time);
            movedOn = time >= 0 && time < 200000;
        }
        EXPECT_TRUE(movedOn) << "picture frozen at " << time;
    }
}

TEST(Player, SoundAloneReportsItsEndOncePerEnd) {
    test::LoadPlayerLibrariesOrFail();
    const std::string file = test::Fixture(
        "player_short_tone.wav", "-f lavfi -i sine=sample_rate=22050 -t 0.4 -c:a pcm_s16le");
    PlayerRecorder recorder;
    TDIZuvore player;
    recorder.Attach(player);
    ASSERT_TRUE(player.Open(file, nullptr, false)) << player.LastError();
    ASSERT_TRUE(recorder.WaitForEnds(1, 10s));
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(recorder.Count(psEnd), 1);
    // A seek starts a new end, reported once again.
    player.Seek(0, true, 0);
    ASSERT_TRUE(recorder.WaitForEnds(2, 10s));
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(recorder.Count(psEnd), 2);
}

// White where the picture is, black bands beside it.
bool IsWhite(std::uint32_t pixel) {
    return ((pixel >> 16) & 0xFF) > 200 && ((pixel >> 8) & 0xFF) > 200 && (pixel & 0xFF) > 200;
}
bool IsDark(std::uint32_t pixel) {
    return ((pixel >> 16) & 0xFF) < 50 && ((pixel >> 8) & 0xFF) < 50 && (pixel & 0xFF) < 50;
}
bool IsWhiteBgr(const TBitmap& bitmap, int x, int y) {
    const std::uint8_t* p = bitmap.ScanLine(y) + 3 * x;
    return p[0] > 200 && p[1] > 200 && p[2] > 200;
}

TEST(Player, AnamorphicAndTurnedPicturesAreShownAsMeant) {
    test::LoadPlayerLibrariesOrFail();
    // A 720 x 576 picture whose 64:45 sample aspect (16:9 on screen) only the
    // container states, as in a DVD rip.
    const std::string anamorphic = test::Fixture(
        "player_anamorphic.mkv",
        "-i " +
            test::Fixture("player_white_720x576.avi",
                          "-f lavfi -i color=c=white:size=720x576:rate=25 -t 0.4 -c:v mpeg4") +
            " -c copy -aspect 16:9");
    // A phone clip: stored 160 x 90 with its left half white, turned a quarter
    // counterclockwise for display (ffmpeg shows it 90 x 160, white below).
    const std::string turned = test::Fixture(
        "player_turned.mp4",
        "-i " +
            test::Fixture("player_left_white.mp4",
                          "-f lavfi -i color=white:size=160x90:rate=25,drawbox=x=80:y=0:w=80:h=90:"
                          "color=black:t=fill -t 0.4 -c:v mpeg4 -q:v 2") +
            " -c copy -metadata:s:v:0 rotate=90");
    {
        SCOPED_TRACE("anamorphic");
        TMemoryDisplaySurface panel(320, 180);
        PlayerRecorder recorder;
        TDIZuvore player;
        recorder.Attach(player);
        ASSERT_TRUE(player.Open(anamorphic, &panel, true)) << player.LastError();
        ASSERT_TRUE(recorder.WaitForState(psPause));
        ASSERT_TRUE(panel.WaitForPresentCount(0, 5s));
        const TDisplayImage image = panel.LastImage();
        for (int x : {2, 160, 317}) EXPECT_TRUE(IsWhite(image.Pixel(x, 90))) << x;  // no bands
        std::int64_t time = 0;
        const TBitmap frame = player.CurrentFrame(time);
        EXPECT_EQ(frame.Width, 1024);
        EXPECT_EQ(frame.Height, 576);
    }
    {
        SCOPED_TRACE("turned");
        TMemoryDisplaySurface panel(160, 160);
        PlayerRecorder recorder;
        TDIZuvore player;
        recorder.Attach(player);
        ASSERT_TRUE(player.Open(turned, &panel, true)) << player.LastError();
        ASSERT_TRUE(recorder.WaitForState(psPause));
        ASSERT_TRUE(panel.WaitForPresentCount(0, 5s));
        const TDisplayImage image = panel.LastImage();
        EXPECT_TRUE(IsWhite(image.Pixel(80, 150)));
        EXPECT_TRUE(IsDark(image.Pixel(80, 10)));
        EXPECT_EQ(image.Pixel(20, 150), TDisplayImage::Black);  // a band: 90 of 160 wide
        std::int64_t time = 0;
        const TBitmap frame = player.CurrentFrame(time);
        ASSERT_EQ(frame.Width, 90);
        ASSERT_EQ(frame.Height, 160);
        EXPECT_TRUE(IsWhiteBgr(frame, 45, 150));
        EXPECT_FALSE(IsWhiteBgr(frame, 45, 10));
    }
}

TEST(Player, HookDrawsOnEveryPicture) {
    test::LoadPlayerLibrariesOrFail();
    TMemoryDisplaySurface panel(320, 240);
    PlayerRecorder recorder;
    std::atomic<int> hooked{0};
    TDIZuvore player;
    recorder.Attach(player);
    player.SetHook(true);
    player.OnHook = [&](TCustomPlayer*, TBitmap& bitmap, std::int64_t pts) {
        EXPECT_GE(pts, 0);
        for (int y = 0; y < bitmap.Height; ++y) {
            std::uint8_t* row = bitmap.ScanLine(y);
            for (int x = 0; x < bitmap.Width; ++x) {
                row[3 * x] = 0;  // blue, green, red
                row[3 * x + 1] = 0;
                row[3 * x + 2] = 255;
            }
        }
        ++hooked;
    };
    ASSERT_TRUE(player.Open(test::VideoWithSound(), &panel, true)) << player.LastError();
    ASSERT_TRUE(recorder.WaitForState(psPause));
    ASSERT_TRUE(panel.WaitForPresentCount(0, 5s));
    EXPECT_EQ(hooked.load(), 2);
    const std::uint32_t centre = panel.LastImage().Pixel(160, 120);
    EXPECT_GT((centre >> 16) & 0xFF, 200u);
    EXPECT_LT((centre >> 8) & 0xFF, 60u);
}

TEST(Player, DisableDisplayPlaysWithoutShowing) {
    test::LoadPlayerLibrariesOrFail();
    TMemoryDisplaySurface panel(313, 190);
    PlayerRecorder recorder;
    TDIZuvore player;
    player.SetDisableDisplay(true);
    recorder.Attach(player);
    ASSERT_TRUE(player.Open(test::VideoWithSound(), &panel, false)) << player.LastError();
    EXPECT_TRUE(player.DisableVideo());
    EXPECT_TRUE(recorder.WaitForPosition(300000, 5s));
    EXPECT_EQ(panel.PresentCount(), 0);
    std::int64_t time = 0;
    EXPECT_TRUE(player.CurrentFrame(time).Empty());
}

TEST(Player, OpenFailuresSayWhy) {
    test::LoadPlayerLibrariesOrFail();
    test::TempDir dir;
    const std::string subtitlesOnly = dir.File("only.srt");
    test::WriteFile(subtitlesOnly, "1\n00:00:00,000 --> 00:00:01,000\nhello\n");
    struct Case {
        std::string file;
        bool disableAudio;
        std::string error;
    } cases[] = {
        {dir.File("missing.avi"), false, dir.File("missing.avi") + ": No such file or directory"},
        {subtitlesOnly, false, subtitlesOnly + ": could not open codecs, no stream to play."},
        {test::SilentStereo(), true,
         test::SilentStereo() + ": could not open codecs, no stream to play."},
    };
    for (const Case& c : cases) {
        TMemoryDisplaySurface panel(313, 190);
        TDIZuvore player;
        player.SetDisableAudio(c.disableAudio);
        EXPECT_FALSE(player.Open(c.file, &panel, true));
        EXPECT_EQ(player.LastError(), c.error);
        EXPECT_FALSE(player.Playing());
        player.Close(true);  // harmless without a playback
    }
}

TEST(Player, OpenWithoutLibrariesFails) {
    // Whatever ran before in this process: the FFmpeg libraries alone (the
    // converter's set) are not enough.
    test::LoadConverterLibrariesOrFail();
    Loader().UnloadLibrary(liSdl);
    TDIZuvore player;
    EXPECT_FALSE(player.LibrariesLoaded());
    EXPECT_FALSE(player.Open(test::SilentStereo(), nullptr, true));
    EXPECT_EQ(player.LastError(), "libav or libsdl not loaded.");
    EXPECT_FALSE(player.Playing());
}

TEST(Player, CloseWithoutWaitEndsOnItsOwn) {
    test::LoadPlayerLibrariesOrFail();
    PlayerRecorder recorder;
    TDIZuvore player;
    recorder.Attach(player);
    ASSERT_TRUE(player.Open(test::VideoWithSound(), nullptr, false)) << player.LastError();
    player.Close(false);
    EXPECT_TRUE(recorder.WaitForState(psStop, 5s));
    // A new file opens after the old playback has gone.
    ASSERT_TRUE(player.Open(test::ToneStereo(), nullptr, true)) << player.LastError();
    EXPECT_TRUE(player.Playing());
}

TEST(Player, ReadErrorEndsPlaybackWithAReportedEnd) {
    test::LoadPlayerLibrariesOrFail();
    // A play list whose second entry is missing: after the first clip every
    // read fails, and keeps failing.
    test::TempDir dir;
    test::WriteFile(
        dir.File("a.avi"),
        test::ReadFile(test::Fixture(
            "player_clip.avi", "-f lavfi -i testsrc=size=160x120:rate=25 -t 0.5 -c:v mpeg4")));
    const std::string file = dir.File("list.ffconcat");
    test::WriteFile(file, "ffconcat version 1.0\nfile a.avi\nfile missing.avi\n");

    std::mutex logMutex;
    std::vector<std::string> errors;
    Logger().SetTriggerEventInMainThread(false);
    Logger().SetOnLog([&](TFFLogger*, std::uint32_t, TLogLevel level, const std::string& text) {
        std::lock_guard lock(logMutex);
        if (level == llError) errors.push_back(text);
    });
    PlayerRecorder recorder;
    TDIZuvore player;
    recorder.Attach(player);
    ASSERT_TRUE(player.Open(file, nullptr, false)) << player.LastError();
    EXPECT_TRUE(recorder.WaitForState(psEnd, 10s));
    player.Close(true);
    Logger().SetOnLog(nullptr);
    std::lock_guard lock(logMutex);
    const std::string expected =
        "error #" + std::to_string(AVERROR(ENOENT)) + " while reading file: " + file;
    EXPECT_NE(std::find(errors.begin(), errors.end(), expected), errors.end());
}

TEST(Player, HandlerMayReopenThePlayer) {
    test::LoadPlayerLibrariesOrFail();
    std::atomic<int> ends{0};
    std::atomic<bool> reopened{false};
    TDIZuvore player;
    player.SetTriggerEventInMainThread(false);  // handlers on the event thread
    player.OnState = [&](TCustomPlayer* sender, TPlayState state) {
        if (state == psEnd && ends++ == 0) {
            reopened = static_cast<TDIZuvore*>(sender)->Open(test::ToneStereo(), nullptr, true);
        }
    };
    const std::string file = test::Fixture(
        "player_tiny.avi", "-f lavfi -i testsrc=size=64x48:rate=25 -t 0.3 -c:v mpeg4");
    ASSERT_TRUE(player.Open(file, nullptr, false));
    for (int i = 0; i < 200 && !reopened; ++i) std::this_thread::sleep_for(20ms);
    EXPECT_TRUE(reopened.load());
    EXPECT_TRUE(player.Playing());
}

}  // namespace
}  // namespace zorvex
