// The program: its application object, services and windows, run until the
// main window closes.
#include "app/ui/program.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QLibraryInfo>
#include <QSessionManager>
#include <QTranslator>
#include <clocale>
#include <cstdio>
#include <functional>

#include "app/core/workbench/controller.h"
#include "app/core/workbench/converter_port.h"
#include "app/core/workbench/product_info.h"
#include "app/core/workbench/program_arguments.h"
#include "app/core/workbench/source_paths.h"
#include "app/core/workbench/startup.h"
#include "app/platform/data_folder.h"
#include "app/platform/desktop_notifier.h"
#include "app/platform/launcher_entry.h"
#include "app/platform/machine_store.h"
#include "app/platform/power.h"
#include "app/platform/qt_dispatcher.h"
#include "app/platform/queue_file_store.h"
#include "app/platform/settings_store.h"
#include "app/platform/shell.h"
#include "app/platform/single_instance.h"
#include "app/platform/stop_signals.h"
#include "app/platform/thread_pool_work.h"
#include "app/ui/format_window_dialogs.h"
#include "app/ui/main_window.h"
#include "app/ui/media_info_window.h"
#include "app/ui/password_window.h"
#include "app/ui/task_preview_window.h"
#include "app/ui/update_window.h"
#include "media/loader.h"
#include "media/util.h"

namespace zorvex::app {

namespace {
void BringToFront(QWidget& window) {
    if (window.isMinimized()) window.showNormal();
    window.raise();
    window.activateWindow();
}
}  // namespace

int RunProgram(int argc, char** argv, const std::function<void(MainWindow&)>& install) {
    // --help, --version and a wrong command line are answered before the
    // application object, which needs a display, exists.
    QStringList rawArguments;
    for (int i = 0; i < argc; ++i) rawArguments << QString::fromLocal8Bit(argv[i]);
    const ProgramArguments arguments = ParseProgramArguments(rawArguments);
    switch (arguments.action) {
        case ProgramArguments::Action::Help:
        case ProgramArguments::Action::Version:
            std::fputs(arguments.text.toLocal8Bit().constData(), stdout);
            return ProgramArguments::kExitOk;
        case ProgramArguments::Action::Usage:
            std::fputs(arguments.text.toLocal8Bit().constData(), stderr);
            return ProgramArguments::kExitUsage;
        case ProgramArguments::Action::Run:
            break;
    }

    QApplication application(argc, argv);
    // Qt adopts the system's locale; FFmpeg parses numbers such as "29.97" with
    // the C library, which must keep the "." decimal point.
    std::setlocale(LC_NUMERIC, "C");
    // No display name: Qt would append it to every window's caption.
    QApplication::setApplicationName(kProductName);
    // Matches the windows to the desktop entry (its icon, the dock's entry).
    QGuiApplication::setDesktopFileName(kDesktopId);
    QIcon icon;
    for (int size : {16, 32, 48, 256}) {
        icon.addFile(QStringLiteral(":/icons/zorvex-%1.png").arg(size));
    }
    QApplication::setWindowIcon(icon);

    const QStringList startFiles = AbsoluteSourcePaths(arguments.files, QDir::currentPath());
    SingleInstance instance(DefaultInstanceSocket(QString::fromStdString(zorvex::ProgramFolder())));
    if (instance.HandOffOrServe(startFiles)) return 0;

    // Qt's own texts (message box buttons, the file dialog) in Chinese, like ours.
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qtbase_zh_CN"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&qtTexts);
    }
    QtMainThreadDispatcher dispatcher;
    zorvex::SetMainThreadDispatcher(&dispatcher);
    InstallTaskPreviewWindows();
    const std::string libraryFolder = zorvex::DefaultLibraryFolder();
    zorvex::Loader().SetLibraryFolder(libraryFolder);

    int result = 0;
    {
        IniSettingsStore settings(DefaultSettingsPath());
        DesktopShell shell;
        LogindPowerControl power;
        FileMachineStore machine;
        ComponentConverter converter;
        DBusDesktopNotifier notifier(kProductName, kDesktopId);
        DBusLauncherEntry launcher(kDesktopId);
        FileQueueStore queueStore(SettingsFolder());
        ThreadPoolWork background;  // after the converter: its opens end before it goes

        // The main window first (it creates the About window), then the others.
        MainWindow window(MainWindow::Services{converter,
                                               settings,
                                               shell,
                                               power,
                                               nullptr,
                                               ProgramDataFolder(),
                                               QString::fromStdString(libraryFolder),
                                               DefaultOutputFolder(),
                                               nullptr,
                                               {},
                                               &notifier,
                                               &launcher,
                                               &queueStore,
                                               &background});
        UpdateWindow update(settings, shell, &window);
        window.SetUpdateWindowHandler([&update] { update.exec(); });
        // The format chooser and the settings window, for the add commands.
        FormatWindowDialogs formats(&window, settings, shell);
        window.SetFormatDialogs(&formats);
        window.SetMediaInformationHandler([&](const QString& file) {
            ShowMediaInformation(&window, converter.Component().AVProbe(), file, settings);
        });
        // Files from the command line and from later starts wait until the
        // password lock has let the user in.
        QStringList waitingFiles = startFiles;
        bool unlocked = false;
        const auto openFiles = [&window](const QStringList& files) {
            QMetaObject::invokeMethod(
                &window, [&window, files] { window.Controller().OpenFiles(files); },
                Qt::QueuedConnection);
        };
        QObject::connect(&instance, &SingleInstance::FilesReceived, &window,
                         [&](const QStringList& files) {
                             BringToFront(window);
                             if (unlocked) {
                                 if (!files.isEmpty()) openFiles(files);
                             } else {
                                 waitingFiles += files;
                             }
                         });
        window.SetFirstShowHandler([&] {
            if (!PassStartupLock(&window, machine, settings)) {
                QMetaObject::invokeMethod(&window, &QWidget::close, Qt::QueuedConnection);
                return;
            }
            unlocked = true;
            // A queue left by a run that did not end normally comes first.
            QMetaObject::invokeMethod(
                &window, [&window] { window.Controller().OfferSavedQueue(); },
                Qt::QueuedConnection);
            if (!waitingFiles.isEmpty()) openFiles(waitingFiles);
            waitingFiles.clear();
        });
        // A stop signal or the end of the session stops the tasks (what they
        // wrote is kept) and keeps the unfinished queue for the next start,
        // then the program closes; the exit status says which signal it was
        // (128 + its number), as a shell reports a killed program.
        StopSignals stopSignals;
        const auto stopAndClose = [&window](int status) {
            window.Controller().Close(WorkbenchController::CloseKind::Stopped);
            window.close();
            QCoreApplication::exit(status);  // also ends a modal window's loop
        };
        QObject::connect(&stopSignals, &StopSignals::Received, &window,
                         [stopAndClose](int signal) { stopAndClose(128 + signal); });
        QObject::connect(&application, &QGuiApplication::commitDataRequest, &window,
                         [stopAndClose](QSessionManager&) { stopAndClose(0); });
        if (install) install(window);
        window.show();
        result = application.exec();
    }
    zorvex::SetPreviewWindowFactory(nullptr);
    zorvex::SetMainThreadDispatcher(nullptr);
    return result;
}

}  // namespace zorvex::app
