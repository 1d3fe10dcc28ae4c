#include <QApplication>

#include "app/core/workbench/converter_port.h"
#include "app/core/workbench/product_info.h"
#include "app/core/workbench/startup.h"
#include "app/platform/power.h"
#include "app/platform/qt_dispatcher.h"
#include "app/platform/settings_store.h"
#include "app/platform/shell.h"
#include "app/ui/main_window.h"
#include "media/loader.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(zorvex::app::kProductName);
    QApplication::setApplicationDisplayName(zorvex::app::kProductName);
    zorvex::app::QtMainThreadDispatcher dispatcher;
    zorvex::SetMainThreadDispatcher(&dispatcher);
    const std::string libraryFolder = zorvex::DefaultLibraryFolder();
    zorvex::Loader().SetLibraryFolder(libraryFolder);

    int result = 0;
    {
        zorvex::app::IniSettingsStore settings(zorvex::app::DefaultSettingsPath());
        zorvex::app::DesktopShell shell;
        zorvex::app::LogindPowerControl power;
        zorvex::app::ComponentConverter converter;

        zorvex::app::MainWindow window(zorvex::app::MainWindow::Services{
            converter, settings, shell, power, nullptr, zorvex::app::ProgramFolder(),
            QString::fromStdString(libraryFolder), zorvex::app::DefaultOutputFolder()});
        window.show();
        result = application.exec();
    }
    zorvex::SetMainThreadDispatcher(nullptr);
    return result;
}
