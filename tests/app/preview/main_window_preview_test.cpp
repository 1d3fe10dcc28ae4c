// The preview panel in its place in the main window, driven by the queue.
#include <gtest/gtest.h>

#include <QAction>
#include <QStatusBar>
#include <QTableView>
#include <QToolButton>

#include "app/platform/camera_sound.h"
#include "app/platform/qt_dispatcher.h"
#include "app/ui/main_window.h"
#include "app/ui/preview_panel.h"
#include "app/ui/video_view.h"
#include "tests/app/preview/preview_support.h"
#include "tests/app/workbench_fakes.h"

namespace zorvex::app {
namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

TEST(MainWindowPreview, SelectedRowPlaysInThePanelAndSnapshotsReachTheStatusBar) {
    zorvex::test::EnsureApplication();
    zorvex::test::LoadConverterLibrariesOrFail();
    QtMainThreadDispatcher dispatcher;
    SetMainThreadDispatcher(&dispatcher);
    zorvex::test::TempDir dir;
    test::FakeConverter converter;
    MemorySettingsStore settings;
    settings.WriteString("OutPath", "OutPath", Q(dir.Path()));
    settings.WriteString("SnapShot", "Dir", Q(dir.File("snaps")));
    RecordingShell shell;
    RecordingPowerControl power;
    test::FakeFormats formats;
    FakeCameraSound sound;
    {
        MainWindow window(MainWindow::Services{converter, settings, shell, power, &formats,
                                               Q(dir.File("program")), "/nonexistent/LibAV",
                                               Q(dir.File("out")), &sound});
        window.show();
        ASSERT_NE(window.Preview(), nullptr);
        EXPECT_EQ(window.PreviewPanelArea(), window.Preview()->View());

        // An add selects the new row: its file opens paused in the panel.
        const QString clip = Q(zorvex::test::PreviewClip());
        window.Controller().AddDroppedFiles({clip});
        ASSERT_EQ(window.Controller().SelectedRow(), 0);
        PreviewPanelWidget& preview = *window.Preview();
        ASSERT_TRUE(zorvex::test::SpinUntil([&] {
            return preview.Player().State() == psPause && !preview.View()->Picture().isNull();
        }));
        EXPECT_EQ(QString::fromStdString(preview.Player().FileName()), clip);

        preview.findChild<QToolButton*>("snapshotButton")->click();
        EXPECT_EQ(window.statusBar()->currentMessage(), kSnapshotTakenText);

        // Removing the row closes the player and blanks the panel.
        window.findChild<QAction*>("removeAction")->trigger();
        EXPECT_FALSE(preview.Player().Playing());
        EXPECT_TRUE(preview.View()->Picture().isNull());

        // An open failure goes to the conversion log.
        const QString broken = Q(dir.File("broken.avi"));
        zorvex::test::WriteFile(dir.File("broken.avi"), "not a video");
        converter.loaded = true;
        window.Controller().AddDroppedFiles({broken});
        EXPECT_TRUE(window.Controller().ConversionLog().contains(
            broken + ": Invalid data found when processing input"));
        window.close();
    }
    SetMainThreadDispatcher(nullptr);
}

}  // namespace
}  // namespace zorvex::app
