#include "app/core/preview/preview_controller.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <thread>

#include "app/platform/camera_sound.h"
#include "app/platform/settings_store.h"
#include "app/platform/shell.h"
#include "tests/app/preview/preview_support.h"

namespace zorvex::app {
namespace {

using namespace std::chrono_literals;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// Everything the controller signals, in order of arrival.
struct Signals {
    QStringList status, log;
    int sliderResets = 0, cleared = 0, focus = 0;
    QList<qint64> opened;
    QList<bool> mute;
    QList<SnapshotType> types;

    explicit Signals(PreviewController& c) {
        QObject::connect(&c, &PreviewController::statusTextChanged,
                         [this](const QString& t) { status << t; });
        QObject::connect(&c, &PreviewController::logLine, [this](const QString& t) { log << t; });
        QObject::connect(&c, &PreviewController::sliderReset, [this] { ++sliderResets; });
        QObject::connect(&c, &PreviewController::panelCleared, [this] { ++cleared; });
        QObject::connect(&c, &PreviewController::queueFocusRequested, [this] { ++focus; });
        QObject::connect(&c, &PreviewController::fileOpened, [this](qint64 d) { opened << d; });
        QObject::connect(&c, &PreviewController::muteChanged, [this](bool m) { mute << m; });
        QObject::connect(&c, &PreviewController::snapshotTypeChanged,
                         [this](SnapshotType t) { types << t; });
    }
};

// A controller around a real player that draws into memory; the program folder
// is a scratch folder with (or without) the camera sound.
struct Rig {
    test::TempDir dir;
    MemorySettingsStore settings;
    RecordingShell shell;
    FakeCameraSound sound;
    TMemoryDisplaySurface panel{313, 190};
    TDIZuvore player;
    PreviewController controller{player,
                                 settings,
                                 shell,
                                 sound,
                                 Q(dir.File("program")),
                                 Q(dir.File("home/Video_Directory/快照"))};
    QString snapshots = Q(dir.File("snaps"));

    explicit Rig(bool withClick = true) {
        test::EnsureApplication();
        QDir().mkpath(Q(dir.File("program/sounds")));
        if (withClick) test::WriteFile(dir.File("program/sounds/cam.wav"), "RIFF");
        QDir().mkpath(snapshots);
        settings.WriteString("SnapShot", "Dir", snapshots);
        controller.SetSurface(&panel);
    }
    ~Rig() { player.Close(true); }

    // Selects a file and waits until its opening pictures are on the panel.
    void Select(const std::string& file) {
        controller.SelectFile(Q(file));
        ASSERT_TRUE(player.Playing()) << player.LastError();
        ASSERT_TRUE(WaitForState(psPause));
        ASSERT_TRUE(panel.WaitForPresentCount(0, 5s));
    }
    bool WaitForState(TPlayState state) {
        for (int i = 0; i < 500; ++i) {
            if (player.State() == state) return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }
    QStringList Files() { return QDir(snapshots).entryList(QDir::Files, QDir::Name); }
};

TEST(PreviewController, SnapshotsAreNumberedPerTypeAndAnnounced) {
    test::LoadConverterLibrariesOrFail();
    Rig rig;
    test::TempDir videos;
    const std::string clip = videos.File("a.avi");
    test::WriteFile(clip, test::ReadFile(test::PreviewClip()));
    Signals got(rig.controller);
    rig.Select(clip);

    rig.controller.TakeSnapshot();
    rig.controller.TakeSnapshot();
    EXPECT_EQ(rig.Files(), (QStringList{"a_1.bmp", "a_2.bmp"}));
    for (const QString& name : rig.Files()) {
        QImageReader reader(rig.snapshots + "/" + name);
        EXPECT_EQ(reader.format(), "bmp");
        EXPECT_EQ(reader.size(), QSize(320, 240));
    }
    EXPECT_EQ(got.status, (QStringList{kSnapshotTakenText, kSnapshotTakenText}));
    EXPECT_EQ(rig.sound.played, (QStringList{Q(rig.dir.File("program/sounds/cam.wav")),
                                             Q(rig.dir.File("program/sounds/cam.wav"))}));

    rig.controller.SetSnapshotType(SnapshotType::Png);
    EXPECT_EQ(rig.settings.ReadString("SnapShot", "Picture"), "PNG");
    rig.controller.TakeSnapshot();
    rig.controller.SetSnapshotType(SnapshotType::Jpg);
    rig.controller.TakeSnapshot();
    rig.controller.SetSnapshotType(SnapshotType::Gif);
    rig.controller.TakeSnapshot();
    EXPECT_EQ(rig.Files(), (QStringList{"a_1.bmp", "a_1.gif", "a_1.jpg", "a_1.png", "a_2.bmp"}));
    for (const char* name : {"a_1.gif", "a_1.jpg", "a_1.png"}) {
        const QImage image(rig.snapshots + "/" + name);
        EXPECT_EQ(image.size(), QSize(320, 240)) << name;
    }
}

TEST(PreviewController, NothingOnScreenWritesNothing) {
    test::LoadConverterLibrariesOrFail();
    Rig rig;
    Signals got(rig.controller);
    rig.controller.TakeSnapshot();  // no file opened
    EXPECT_TRUE(rig.Files().isEmpty());
    EXPECT_TRUE(got.status.isEmpty());
    EXPECT_TRUE(rig.sound.played.isEmpty());

    // An audio-only file has no picture either.
    rig.controller.SelectFile(Q(test::Fixture(
        "preview_tone.wav", "-f lavfi -i sine=sample_rate=22050 -t 1 -c:a pcm_s16le")));
    ASSERT_TRUE(rig.player.Playing());
    rig.controller.TakeSnapshot();
    EXPECT_TRUE(rig.Files().isEmpty());
    EXPECT_TRUE(got.status.isEmpty());
}

TEST(PreviewController, SnapshotWithoutTheClickFileIsStillSaved) {
    test::LoadConverterLibrariesOrFail();
    Rig rig(false);
    rig.Select(test::PreviewClip());
    rig.controller.TakeSnapshot();
    EXPECT_EQ(rig.Files(), QStringList{"preview_a_1.bmp"});
    EXPECT_TRUE(rig.sound.played.isEmpty());
}

TEST(PreviewController, FailedSnapshotIsNotAnnounced) {
    test::LoadConverterLibrariesOrFail();
    Rig rig;
    rig.Select(test::PreviewClip());
    // The stored folder is a file: it can be neither created nor written into.
    test::WriteFile(rig.dir.File("blocked"), "x");
    rig.settings.WriteString("SnapShot", "Dir", Q(rig.dir.File("blocked")));
    Signals got(rig.controller);
    rig.controller.TakeSnapshot();
    EXPECT_TRUE(got.status.isEmpty());
    EXPECT_TRUE(rig.sound.played.isEmpty());
    ASSERT_EQ(got.log.size(), 1);
    EXPECT_TRUE(got.log.at(0).startsWith("Cannot save the snapshot"))
        << got.log.at(0).toStdString();
}

TEST(PreviewController, SelectingOpensPausedAndFailuresGoToTheLog) {
    test::LoadConverterLibrariesOrFail();
    Rig rig;
    Signals got(rig.controller);
    rig.Select(test::PreviewClip());
    EXPECT_EQ(got.sliderResets, 1);
    EXPECT_EQ(got.opened, QList<qint64>{2000000});
    EXPECT_EQ(rig.controller.Duration(), 2000000);

    // Another row while this one plays: it pauses at once and the other file
    // opens after a moment, without holding the window up meanwhile.
    rig.controller.Play();
    ASSERT_TRUE(rig.WaitForState(psResume));
    const std::string missing = rig.dir.File("gone.avi");
    rig.controller.SelectFile(Q(missing));
    EXPECT_EQ(got.sliderResets, 2);
    EXPECT_EQ(rig.player.State(), psPause);
    EXPECT_TRUE(rig.player.Playing());
    EXPECT_EQ(rig.controller.PreviewFile(), Q(missing));
    ASSERT_TRUE(test::SpinUntil([&] { return !rig.player.Playing(); }));
    EXPECT_EQ(got.log, QStringList{Q(missing + ": No such file or directory")});
    EXPECT_EQ(got.cleared, 1);
}

// Rows chosen quickly while a file plays (arrow keys held down): only the last
// one opens; a row removed or a click on no row during the wait opens nothing.
TEST(PreviewController, SelectionsDuringThePauseOpenOnlyTheLast) {
    test::LoadConverterLibrariesOrFail();
    Rig rig;
    const std::string first = test::PreviewClip();
    const std::string second = test::Fixture(
        "preview_second.avi", "-f lavfi -i testsrc=size=128x96:rate=25 -t 1 -c:v mpeg4");
    rig.Select(first);
    Signals got(rig.controller);
    rig.controller.Play();
    ASSERT_TRUE(rig.WaitForState(psResume));
    rig.controller.SelectFile(Q(rig.dir.File("gone.avi")));
    rig.controller.SelectFile(Q(second));
    EXPECT_EQ(rig.player.FileName(), first);
    ASSERT_TRUE(test::SpinUntil([&] { return rig.player.FileName() == second; }));
    EXPECT_EQ(got.opened, QList<qint64>{1000000});
    EXPECT_TRUE(got.log.isEmpty());
    ASSERT_TRUE(rig.WaitForState(psPause));

    for (const bool removed : {false, true}) {
        rig.controller.Play();
        ASSERT_TRUE(rig.WaitForState(psResume));
        rig.controller.SelectFile(Q(first));
        if (removed) {
            rig.controller.CloseForQueueChange();
        } else {
            rig.controller.Deselect();
        }
        EXPECT_FALSE(rig.player.Playing());
        test::SpinUntil([] { return false; }, 200);  // well past the wait
        EXPECT_FALSE(rig.player.Playing()) << removed;
        rig.controller.SelectFile(Q(second));  // nothing plays: opens at once
        EXPECT_TRUE(rig.player.Playing());
    }
    EXPECT_EQ(got.opened.size(), 3);
}

TEST(PreviewController, ButtonsDriveThePlayer) {
    test::LoadConverterLibrariesOrFail();
    Rig rig;
    rig.Select(test::PreviewClip());
    Signals got(rig.controller);
    rig.controller.Play();
    EXPECT_EQ(rig.player.State(), psResume);
    rig.controller.Pause();
    EXPECT_EQ(rig.player.State(), psPause);
    EXPECT_EQ(got.focus, 2);

    rig.controller.ToggleMute();
    EXPECT_TRUE(rig.player.Mute());
    rig.controller.ToggleMute();
    EXPECT_FALSE(rig.player.Mute());
    EXPECT_EQ(got.mute, (QList<bool>{true, false}));

    // Stop reopens the file at its start, paused.
    rig.controller.Play();
    std::this_thread::sleep_for(300ms);
    rig.controller.Stop();
    ASSERT_TRUE(rig.WaitForState(psPause));
    std::int64_t time = -1;
    for (int i = 0; i < 100 && time < 0; ++i) {
        rig.player.CurrentFrame(time);
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_GE(time, 0);
    EXPECT_LE(time, 80000);

    // Without a selected row, stop does nothing.
    rig.controller.Deselect();
    EXPECT_FALSE(rig.player.Playing());
    rig.controller.Stop();
    EXPECT_FALSE(rig.player.Playing());
}

TEST(PreviewController, SliderSeeksAndPlaysOn) {
    test::LoadConverterLibrariesOrFail();
    Rig rig;
    rig.Select(test::Fixture("preview_60s.avi",
                             "-f lavfi -i testsrc=size=96x72:rate=5 -t 60 -c:v mpeg4 -g 5"));
    EXPECT_EQ(rig.controller.Duration(), 60000000);
    // Paused before the drag: pressing toggles, releasing seeks and plays on.
    rig.controller.SliderPressed();
    rig.controller.SliderReleased(150, 300);
    EXPECT_EQ(rig.player.State(), psResume);
    std::int64_t time = -1;
    for (int i = 0; i < 300 && time < 30000000; ++i) {
        rig.player.CurrentFrame(time);
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_GE(time, 30000000);
    EXPECT_LT(time, 31000000);
    std::this_thread::sleep_for(500ms);
    std::int64_t later = -1;
    rig.player.CurrentFrame(later);
    EXPECT_GT(later, time);  // playing on
}

TEST(PreviewController, QueueChangesClose) {
    test::LoadConverterLibrariesOrFail();
    Rig rig;
    rig.Select(test::PreviewClip());
    Signals got(rig.controller);
    rig.controller.Deselect();
    EXPECT_FALSE(rig.player.Playing());
    EXPECT_EQ(rig.player.State(), psStop);
    EXPECT_EQ(got.cleared, 0);  // the last picture stays
    rig.Select(test::PreviewClip());
    rig.controller.CloseForQueueChange();
    EXPECT_FALSE(rig.player.Playing());
    EXPECT_EQ(got.cleared, 1);
}

TEST(PreviewController, SnapshotMenuActions) {
    Rig rig;
    rig.controller.OpenSnapshotFolder();
    ASSERT_EQ(rig.shell.opened.size(), 1);
    EXPECT_EQ(rig.shell.opened.at(0), QUrl::fromLocalFile(rig.snapshots));

    Signals got(rig.controller);
    rig.settings.WriteString("SnapShot", "Picture", "TIFF");
    EXPECT_EQ(rig.controller.CurrentSnapshotType(), SnapshotType::Bmp);
    EXPECT_EQ(rig.settings.ReadString("SnapShot", "Picture"), "BMP");
    EXPECT_EQ(got.types, QList<SnapshotType>{SnapshotType::Bmp});

    EXPECT_FALSE(rig.controller.ChooseSnapshotFolder(""));  // cancelled
    EXPECT_FALSE(rig.controller.ChooseSnapshotFolder(Q(rig.dir.File("nowhere"))));
    EXPECT_EQ(rig.settings.ReadString("SnapShot", "Dir"), rig.snapshots);
    EXPECT_TRUE(rig.controller.ChooseSnapshotFolder(Q(rig.dir.Path())));
    EXPECT_EQ(rig.controller.SnapshotFolder(), Q(rig.dir.Path()));
}

}  // namespace
}  // namespace zorvex::app
