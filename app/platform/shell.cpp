#include "app/platform/shell.h"

#include <QDesktopServices>

namespace zorvex::app {

bool DesktopShell::OpenUrl(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

}  // namespace zorvex::app
