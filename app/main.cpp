#include <QApplication>
#include <QMainWindow>

#include "app/platform/qt_dispatcher.h"
#include "media/loader.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    zorvex::app::QtMainThreadDispatcher dispatcher;
    zorvex::SetMainThreadDispatcher(&dispatcher);
    zorvex::Loader().SetLibraryFolder(zorvex::DefaultLibraryFolder());

    QMainWindow window;
    window.setWindowTitle("Zorvex");
    window.resize(851, 588);
    window.show();
    const int result = application.exec();
    zorvex::SetMainThreadDispatcher(nullptr);
    return result;
}
