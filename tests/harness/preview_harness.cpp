// Shows the preview panel, in the real main window or on its own: opens a file
// in it the way a selected queue row does, and can play and pause it, capture
// the screen and take a snapshot. For trying the panel by hand and under Xvfb.
//
//   preview_harness FILE [--main-window] [--play] [--after MS] [--pause]
//                        [--screenshot PNG] [--snapshot] [--settings INI] [--quit]
//
// With --main-window the file is dropped onto the queue of the program's main
// window (queued for MPEG-4 AVI, never converted); the new row is selected and
// opens in the preview group.
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QMainWindow>
#include <QScreen>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <cstdio>
#include <memory>

#include "app/core/workbench/controller.h"
#include "app/core/workbench/converter_port.h"
#include "app/core/workbench/format_dialogs.h"
#include "app/platform/camera_sound.h"
#include "app/platform/power.h"
#include "app/platform/qt_dispatcher.h"
#include "app/platform/settings_store.h"
#include "app/platform/shell.h"
#include "app/ui/main_window.h"
#include "app/ui/preview_panel.h"
#include "app/ui/video_view.h"
#include "media/loader.h"
#include "tools/workbench_run/fixed_format.h"

using namespace zorvex;
using namespace zorvex::app;

namespace {

// Queues files (opened by the real component) but converts nothing: the harness
// only previews them.
class QueueOnlyConverter : public ConverterPort {
public:
    bool LibrariesLoaded() const override { return real_.LibrariesLoaded(); }
    bool LoadLibraries(const std::string& folder) override { return real_.LoadLibraries(folder); }
    int AddTask(const std::string&, const TInputOptions&) override { return tasks_++; }
    PreparedSourcePtr PrepareTask(const std::string& fileName, const TInputOptions& options,
                                  TaskFailure* failure, std::string* error) override {
        return real_.PrepareTask(fileName, options, failure, error);
    }
    int AddPreparedTask(const PreparedSourcePtr&) override { return tasks_++; }
    bool RenameOutputFile(int, const std::string&) override { return true; }
    bool SetOutputFile(int, const std::string&, const TOutputOptions&) override { return true; }
    void RemoveTask(int) override { --tasks_; }
    void ClearTasks() override { tasks_ = 0; }
    int TaskCount() const override { return tasks_; }
    std::string LastError() const override { return {}; }
    void SetThreadPriority(TThreadPriority) override {}
    void StartTask(int) override {}
    void PauseTask() override {}
    void ResumeTask() override {}
    void StopTask(bool) override {}
    void SetHandlers(ProgressHandler, TerminateHandler) override {}

private:
    ComponentConverter real_;
    int tasks_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QCommandLineParser options;
    options.addPositionalArgument("file", "the file to preview");
    options.addOption({"main-window", "show the panel in the program's main window"});
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
    Loader().SetLibraryFolder(DefaultLibraryFolder());
    QTemporaryDir scratch;
    IniSettingsStore settings(options.isSet("settings") ? options.value("settings")
                                                        : scratch.filePath("system.ini"));
    settings.WriteString("OutPath", "OutPath", scratch.filePath("out"));
    DesktopShell shell;
    RecordingPowerControl power;
    SdlCameraSound sound;
    QueueOnlyConverter converter;
    FixedFormat formats;
    const QString programFolder = QStringLiteral(ZORVEX_APP_DIR);  // sounds/ and LibAV/
    const QString file = QFileInfo(options.positionalArguments().at(0)).absoluteFilePath();

    std::unique_ptr<QMainWindow> window;
    PreviewPanelWidget* panel = nullptr;
    MainWindow* mainWindow = nullptr;
    if (options.isSet("main-window")) {
        auto* w = new MainWindow(MainWindow::Services{
            converter, settings, shell, power, &formats, programFolder,
            QString::fromStdString(DefaultLibraryFolder()), scratch.filePath("out"), &sound});
        w->Controller().Startup();
        window.reset(w);
        mainWindow = w;
        panel = w->Preview();
    } else {
        window = std::make_unique<QMainWindow>();
        window->setWindowTitle("Zorvex");
        panel = new PreviewPanelWidget(settings, shell, sound, window.get(), programFolder);
        window->setCentralWidget(panel);
        QObject::connect(panel, &PreviewPanelWidget::statusTextChanged, window->statusBar(),
                         [&](const QString& text) { window->statusBar()->showMessage(text); });
    }
    QObject::connect(panel, &PreviewPanelWidget::logLine, [](const QString& line) {
        std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    });
    window->move(0, 0);
    window->show();

    QTimer::singleShot(100, panel, [&] {
        if (mainWindow != nullptr) {
            mainWindow->Controller().AddDroppedFiles({file});  // selects the new row
            if (mainWindow->Controller().RowCount() == 0) {
                std::fprintf(
                    stderr, "not queued:\n%s\n",
                    mainWindow->Controller().ConversionLog().join('\n').toUtf8().constData());
            }
        } else {
            panel->ShowFile(file);
        }
        if (options.isSet("play"))
            QTimer::singleShot(200, panel, [&] { panel->Controller().Play(); });
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
            const QPixmap screen = window->screen()->grabWindow(0);
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
            std::printf("status bar: %s\n",
                        window->statusBar()->currentMessage().toLocal8Bit().constData());
        }
        std::fflush(stdout);
        if (options.isSet("quit")) window->close();
    });
    QObject::connect(&application, &QApplication::lastWindowClosed, &application,
                     &QApplication::quit);
    const int result = application.exec();
    window.reset();  // the playback ends before the dispatcher goes
    SetMainThreadDispatcher(nullptr);
    return result;
}
