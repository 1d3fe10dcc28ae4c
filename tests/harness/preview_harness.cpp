// Shows the preview panel on its own, without the main window: opens a file in
// it the way a selected queue row does, and can play it, capture the screen and
// take a snapshot. For trying the panel by hand and under Xvfb.
//
//   preview_harness FILE [--play] [--after MS] [--pause] [--screenshot PNG]
//                        [--snapshot] [--settings INI] [--quit]
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QMainWindow>
#include <QScreen>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <cstdio>

#include "app/platform/camera_sound.h"
#include "app/platform/qt_dispatcher.h"
#include "app/platform/settings_store.h"
#include "app/platform/shell.h"
#include "app/ui/preview_panel.h"
#include "app/ui/video_view.h"
#include "media/loader.h"

using namespace zorvex;
using namespace zorvex::app;

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QCommandLineParser options;
    options.addPositionalArgument("file", "the file to preview");
    options.addOption({"play", "play after opening (the panel opens files paused)"});
    options.addOption({"after", "milliseconds before the screenshot and snapshot", "ms", "1500"});
    options.addOption({"pause", "press pause 300 ms before the screenshot and snapshot"});
    options.addOption({"screenshot", "save a screenshot of the whole screen", "png"});
    options.addOption({"snapshot", "press the snapshot button"});
    options.addOption({"settings", "system.ini to use (default: a temporary one)", "ini"});
    options.addOption({"quit", "quit after the screenshot and snapshot"});
    options.addHelpOption();
    options.process(application);
    if (options.positionalArguments().size() != 1) options.showHelp(2);

    QtMainThreadDispatcher dispatcher;
    SetMainThreadDispatcher(&dispatcher);
    QTemporaryDir scratch;
    IniSettingsStore settings(options.isSet("settings") ? options.value("settings")
                                                        : scratch.filePath("system.ini"));
    DesktopShell shell;
    SdlCameraSound sound;
    const QString programFolder = QStringLiteral(ZORVEX_APP_DIR);  // sounds/ and LibAV/

    QMainWindow window;
    window.setWindowTitle("Zorvex");
    auto* panel = new PreviewPanel(settings, shell, sound, &window, programFolder);
    window.setCentralWidget(panel);
    QObject::connect(panel, &PreviewPanel::statusTextChanged, window.statusBar(),
                     [&](const QString& text) { window.statusBar()->showMessage(text); });
    QObject::connect(panel, &PreviewPanel::logLine, [](const QString& line) {
        std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    });
    window.move(0, 0);
    window.show();

    const QString file = options.positionalArguments().at(0);
    QTimer::singleShot(100, panel, [&] {
        panel->OpenFile(file);
        if (options.isSet("play")) panel->Controller().Play();
    });
    const int captureAt = 100 + options.value("after").toInt();
    if (options.isSet("pause")) {
        QTimer::singleShot(captureAt - 300, panel,
                           [&] { panel->findChild<QToolButton*>("pauseButton")->click(); });
    }
    QTimer::singleShot(captureAt, panel, [&] {
        static const char* const kStates[] = {"psPlay", "psPause", "psResume",
                                              "psStep", "psStop",  "psEnd"};
        std::printf("player: %s, %s\n", kStates[panel->Player().State()],
                    panel->Player().Playing() ? "playing a file" : "no file open");
        if (options.isSet("screenshot")) {
            const QPixmap screen = window.screen()->grabWindow(0);
            screen.save(options.value("screenshot"));
            const QPoint origin = panel->View()->mapToGlobal(QPoint(0, 0));
            std::printf("screenshot %s: video panel at %d,%d size %dx%d\n",
                        options.value("screenshot").toLocal8Bit().constData(), origin.x(),
                        origin.y(), panel->View()->width(), panel->View()->height());
        }
        if (options.isSet("snapshot")) {
            panel->findChild<QToolButton*>("snapshotButton")->click();
            std::printf("snapshot folder %s: %s\n",
                        panel->Controller().SnapshotFolder().toLocal8Bit().constData(),
                        QDir(panel->Controller().SnapshotFolder())
                            .entryList(QDir::Files)
                            .join(" ")
                            .toLocal8Bit()
                            .constData());
        }
        std::fflush(stdout);
        if (options.isSet("quit")) application.quit();
    });
    const int result = application.exec();
    delete panel;  // the playback ends before the dispatcher goes
    SetMainThreadDispatcher(nullptr);
    return result;
}
