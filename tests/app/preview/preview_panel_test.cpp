#include "app/ui/preview_panel.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QMenu>
#include <QTimer>
#include <QToolButton>

#include "app/platform/camera_sound.h"
#include "app/platform/qt_dispatcher.h"
#include "app/platform/settings_store.h"
#include "app/platform/shell.h"
#include "app/ui/video_view.h"
#include "tests/app/preview/preview_support.h"

namespace zorvex::app {
namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// The panel as the main window holds it: events and player calls on the Qt
// main thread through the application's dispatcher.
struct PanelRig {
    test::TempDir dir;
    MemorySettingsStore settings;
    RecordingShell shell;
    FakeCameraSound sound;
    QtMainThreadDispatcher dispatcher;
    std::unique_ptr<PreviewPanelWidget> panel;

    PanelRig() {
        test::EnsureApplication();
        SetMainThreadDispatcher(&dispatcher);
        settings.WriteString("SnapShot", "Dir", Q(dir.File("snaps")));
        panel = std::make_unique<PreviewPanelWidget>(
            settings, shell, sound, nullptr, Q(dir.File("program")), Q(dir.File("default")));
        panel->show();
    }
    ~PanelRig() {
        panel.reset();
        SetMainThreadDispatcher(nullptr);
    }
    QToolButton* Button(const char* name) { return panel->findChild<QToolButton*>(name); }
    bool WaitForPicture() {
        return test::SpinUntil([&] {
            return panel->Player().State() == psPause && !panel->View()->Picture().isNull();
        });
    }
};

TEST(PreviewPanel, ViewsAsTheMainWindowShowsThem) {
    PanelRig rig;
    EXPECT_EQ(rig.panel->View()->size(), QSize(313, 190));
    struct Case {
        const char* name;
        const char* hint;
    } buttons[] = {{"playButton", "播放"},         {"pauseButton", "暂停"},
                   {"stopButton", "停止"},         {"soundButton", "声音/静音"},
                   {"snapshotButton", "捕捉快照"}, {"snapshotSettingsButton", "快照设置"}};
    for (const Case& c : buttons) {
        QToolButton* button = rig.Button(c.name);
        ASSERT_NE(button, nullptr) << c.name;
        EXPECT_EQ(button->toolTip(), QString::fromUtf8(c.hint));
        EXPECT_FALSE(button->icon().isNull());
        // A highlighted picture for the pointer, differing from the normal one.
        EXPECT_NE(button->icon().pixmap(24, QIcon::Active).toImage(),
                  button->icon().pixmap(24, QIcon::Normal).toImage());
    }
    SeekSlider* slider = rig.panel->Slider();
    EXPECT_EQ(slider->minimum(), 0);
    EXPECT_EQ(slider->maximum(), 10);
    EXPECT_EQ(slider->tickInterval(), 5);

    QStringList items;
    for (QAction* action : rig.panel->SnapshotMenu()->actions()) {
        items << (action->isSeparator() ? "-" : action->text());
        if (QMenu* sub = action->menu()) {
            for (QAction* type : sub->actions()) {
                items << type->text() + (type->isChecked() ? "*" : "");
            }
        }
    }
    EXPECT_EQ(items, (QStringList{"打开快照目录", "设置快照目录", "-", "快照保存类型", "BMP图片*",
                                  "JPG图片", "GIF图片", "PNG图片"}));
    EXPECT_EQ(rig.settings.ReadString("SnapShot", "Picture"), "BMP");  // written at start-up
}

TEST(PreviewPanel, PlaysIntoTheVideoPanelAndSnapshotsMatchIt) {
    test::LoadConverterLibrariesOrFail();
    PanelRig rig;
    rig.settings.WriteString("SnapShot", "Picture", "PNG");
    test::TempDir videos;
    const std::string clip = videos.File("a.avi");
    test::WriteFile(clip, test::ReadFile(test::Fixture(
                              "preview_640x480.avi",
                              "-f lavfi -i testsrc=size=640x480:rate=25 -t 1 -c:v mpeg4 -q:v 2")));
    QString status;
    QObject::connect(rig.panel.get(), &PreviewPanelWidget::statusTextChanged,
                     [&](const QString& text) { status = text; });
    rig.panel->ShowFile(Q(clip));
    ASSERT_TRUE(rig.WaitForPicture()) << rig.panel->Player().LastError();
    EXPECT_EQ(rig.panel->Slider()->maximum(), rig.panel->Slider()->width());
    EXPECT_EQ(rig.panel->Slider()->value(), 0);

    // 640 x 480 in 313 x 190: 252 x 190 at x = 30, black bands beside it.
    const QImage shown = rig.panel->View()->Picture();
    ASSERT_EQ(shown.size(), QSize(313, 190));
    EXPECT_EQ(shown.pixel(29, 100), qRgb(0, 0, 0));
    EXPECT_EQ(shown.pixel(282, 100), qRgb(0, 0, 0));

    rig.Button("snapshotButton")->click();
    const QString path = Q(rig.dir.File("snaps/a_1.png"));
    const QImage snapshot(path);
    ASSERT_EQ(snapshot.size(), QSize(640, 480));
    EXPECT_EQ(status.toStdString(), kSnapshotTakenText.toStdString());
    // The snapshot is the picture on the panel, at the video's own size.
    const QImage scaled =
        snapshot.scaled(252, 190, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    EXPECT_LT(test::MeanDifference(scaled, shown.copy(30, 0, 252, 190)), 8.0);
}

TEST(PreviewPanel, MenuAndSoundButton) {
    PanelRig rig;
    QMenu* types = nullptr;
    for (QAction* action : rig.panel->SnapshotMenu()->actions()) {
        if (action->menu() != nullptr) types = action->menu();
    }
    ASSERT_NE(types, nullptr);
    types->actions().at(3)->trigger();  // "PNG图片"
    EXPECT_EQ(rig.settings.ReadString("SnapShot", "Picture"), "PNG");
    EXPECT_TRUE(types->actions().at(3)->isChecked());
    EXPECT_FALSE(types->actions().at(0)->isChecked());

    QDir().mkpath(Q(rig.dir.File("chosen")));
    rig.panel->SetFolderPicker([&] { return Q(rig.dir.File("chosen")); });
    rig.panel->SnapshotMenu()->actions().at(1)->trigger();  // "设置快照目录"
    EXPECT_EQ(rig.settings.ReadString("SnapShot", "Dir"), Q(rig.dir.File("chosen")));
    rig.panel->SetFolderPicker([] { return QString(); });  // cancelled
    rig.panel->SnapshotMenu()->actions().at(1)->trigger();
    EXPECT_EQ(rig.settings.ReadString("SnapShot", "Dir"), Q(rig.dir.File("chosen")));
    rig.panel->SnapshotMenu()->actions().at(0)->trigger();  // "打开快照目录"
    EXPECT_EQ(rig.shell.opened.value(0), QUrl::fromLocalFile(Q(rig.dir.File("chosen"))));

    const QImage loud = rig.Button("soundButton")->icon().pixmap(24).toImage();
    rig.Button("soundButton")->click();
    EXPECT_TRUE(rig.panel->Player().Mute());
    EXPECT_NE(rig.Button("soundButton")->icon().pixmap(24).toImage(), loud);
    rig.Button("soundButton")->click();
    EXPECT_EQ(rig.Button("soundButton")->icon().pixmap(24).toImage(), loud);
}

TEST(PreviewPanel, RemovingARowBlanksThePanel) {
    test::LoadConverterLibrariesOrFail();
    PanelRig rig;
    rig.panel->ShowFile(Q(test::PreviewClip()));
    ASSERT_TRUE(rig.WaitForPicture());
    rig.panel->ClosePlayer();  // a click on no row: the last picture stays
    EXPECT_FALSE(rig.panel->View()->Picture().isNull());
    rig.panel->ShowFile(Q(test::PreviewClip()));
    ASSERT_TRUE(rig.WaitForPicture());
    rig.panel->ClosePlayer();  // a row removed
    rig.panel->RepaintPanel();
    EXPECT_FALSE(rig.panel->Player().Playing());
    EXPECT_TRUE(rig.panel->View()->Picture().isNull());
}

// The open's wait serves only the media set's own calls, never the window's
// events: a selection made meanwhile is taken after the open, and wins.
TEST(PreviewPanel, ASelectionDuringAnOpenIsTakenAfterIt) {
    test::LoadConverterLibrariesOrFail();
    PanelRig rig;
    const QString first = Q(test::PreviewClip());
    const QString second = Q(test::Fixture(
        "preview_second.avi", "-f lavfi -i testsrc=size=128x96:rate=25 -t 1 -c:v mpeg4"));
    bool selected = false;
    QTimer::singleShot(0, rig.panel.get(), [&] {
        selected = true;
        rig.panel->ShowFile(second);
    });
    rig.panel->ShowFile(first);
    EXPECT_FALSE(selected);
    EXPECT_EQ(QString::fromStdString(rig.panel->Player().FileName()), first);
    ASSERT_TRUE(test::SpinUntil([&] { return selected; }));
    EXPECT_EQ(rig.panel->Controller().PreviewFile(), second);
    EXPECT_EQ(QString::fromStdString(rig.panel->Player().FileName()), second);
    ASSERT_TRUE(rig.WaitForPicture());

    // A row removed right after an open: the player closes when it comes.
    bool removed = false;
    QTimer::singleShot(0, rig.panel.get(), [&] {
        rig.panel->ClosePlayer();
        rig.panel->RepaintPanel();
        removed = true;
    });
    rig.panel->ShowFile(first);
    ASSERT_TRUE(test::SpinUntil([&] { return removed; }));
    EXPECT_FALSE(rig.panel->Player().Playing());
}

}  // namespace
}  // namespace zorvex::app
