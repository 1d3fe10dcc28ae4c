#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>
#include <clocale>

#include "app/core/workbench/controller.h"
#include "app/core/workbench/converter_port.h"
#include "app/core/workbench/product_info.h"
#include "app/core/workbench/source_paths.h"
#include "app/core/workbench/startup.h"
#include "app/platform/data_folder.h"
#include "app/platform/desktop_notifier.h"
#include "app/platform/launcher_entry.h"
#include "app/platform/machine_store.h"
#include "app/platform/power.h"
#include "app/platform/qt_dispatcher.h"
#include "app/platform/settings_store.h"
#include "app/platform/shell.h"
#include "app/platform/single_instance.h"
#include "app/ui/format_window_dialogs.h"
#include "app/ui/main_window.h"
#include "app/ui/media_info_window.h"
#include "app/ui/password_window.h"
#include "app/ui/task_preview_window.h"
#include "app/ui/update_window.h"
#include "media/loader.h"

using namespace zorvex::app;

namespace {
void BringToFront(QWidget& window) {
    if (window.isMinimized()) window.showNormal();
    window.raise();
    window.activateWindow();
}
}  // namespace

// zorvex [FILE|FOLDER]... : the files (a folder: the media files inside it) are
// added as "添加多个视频文件" adds them. While the program runs, another start
// hands its files to it and ends.
int main(int argc, char** argv) {
    QApplication application(argc, argv);
    // Qt adopts the system's locale; FFmpeg parses numbers such as "29.97" with
    // the C library, which must keep the "." decimal point.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(kProductName);
    QApplication::setApplicationDisplayName(kProductName);
    // Matches the windows to the desktop entry (its icon, the dock's entry).
    QGuiApplication::setDesktopFileName(kDesktopId);
    QIcon icon;
    for (int size : {16, 32, 48, 256}) {
        icon.addFile(QStringLiteral(":/icons/zorvex-%1.png").arg(size));
    }
    QApplication::setWindowIcon(icon);

    const QStringList startFiles =
        AbsoluteSourcePaths(QApplication::arguments().mid(1), QDir::currentPath());
    SingleInstance instance(DefaultInstanceSocket(ProgramFolder()));
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
                                               &launcher});
        UpdateWindow update(settings, shell, &window);
        window.SetUpdateWindowHandler([&update] { update.exec(); });
        // The format chooser and the settings window, for the add commands.
        FormatWindowDialogs formats(&window, settings, shell);
        window.SetFormatDialogs(&formats);
        window.SetMediaInformationHandler([&](const QString& file) {
            zorvex::app::ShowMediaInformation(&window, converter.Component().AVProbe(), file,
                                              settings);
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
            if (!waitingFiles.isEmpty()) openFiles(waitingFiles);
            waitingFiles.clear();
        });
        window.show();
        result = application.exec();
    }
    zorvex::SetPreviewWindowFactory(nullptr);
    zorvex::SetMainThreadDispatcher(nullptr);
    return result;
}
