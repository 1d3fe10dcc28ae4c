// The main window with a real preview on a real X display, for the keyboard
// test of the queue (tests/app/queue_keys_test.cpp runs it under Xvfb):
//   queue_keys_harness FILE...
// queues the files, selects the first row, lets xdotool press Down three
// times 30 ms apart, and prints where the cursor, the selection, the
// controller and the preview ended up as row numbers (0-based).
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTableView>
#include <QThread>
#include <cstdio>
#include <functional>

#include "app/platform/camera_sound.h"
#include "app/platform/qt_dispatcher.h"
#include "app/ui/main_window.h"
#include "app/ui/preview_panel.h"
#include "media/loader.h"
#include "tests/app/workbench_fakes.h"

using namespace zorvex;
using namespace zorvex::app;

namespace {

bool SpinUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QStringList files = QApplication::arguments().mid(1);
    if (files.size() < 4) {
        std::fprintf(stderr, "Usage: queue_keys_harness FILE FILE FILE FILE...\n");
        return 2;
    }
    QtMainThreadDispatcher dispatcher;
    zorvex::SetMainThreadDispatcher(&dispatcher);
    zorvex::Loader().SetLibraryFolder(zorvex::DefaultLibraryFolder());
    int result = 0;
    {
        test::FakeConverter converter;
        MemorySettingsStore settings;
        settings.WriteString("OutPath", "OutPath", QDir::tempPath());
        RecordingShell shell;
        RecordingPowerControl power;
        test::FakeFormats formats;
        FakeCameraSound sound;
        MainWindow window(MainWindow::Services{converter, settings, shell, power, &formats,
                                               QDir::tempPath(), "/nonexistent/LibAV",
                                               QDir::tempPath(), &sound});
        window.show();
        window.activateWindow();
        QTableView* view = window.QueueView();
        TDIZuvore& player = window.Preview()->Player();
        const auto opened = [&](int row) {
            return player.State() == psPause &&
                   QString::fromStdString(player.FileName()) == files[row];
        };
        window.Controller().AddDroppedFiles(files);
        if (!SpinUntil([&] { return opened(files.size() - 1) && window.isActiveWindow(); },
                       10000)) {
            std::fprintf(stderr, "the last file did not open in an active window\n");
            return 1;
        }
        view->setFocus();
        view->selectRow(0);
        if (!SpinUntil([&] { return opened(0); }, 10000)) {
            std::fprintf(stderr, "the first row did not open\n");
            return 1;
        }
        // Real key presses from the X server, queued while the window works.
        QProcess keys;
        keys.start("xdotool", {"key", "--delay", "30", "Down", "Down", "Down"});
        keys.waitForStarted();
        SpinUntil([&] { return keys.state() == QProcess::NotRunning; }, 10000);
        SpinUntil([] { return false; }, 1500);  // whatever the keys started, settles
        const QModelIndexList selected = view->selectionModel()->selectedRows();
        const int previewed = files.indexOf(QString::fromStdString(player.FileName()));
        std::printf("current=%d selected=%d controller=%d previewed=%d\n",
                    view->currentIndex().row(), selected.isEmpty() ? -1 : selected.first().row(),
                    window.Controller().SelectedRow(), previewed);
        window.close();
    }
    zorvex::SetMainThreadDispatcher(nullptr);
    return result;
}
