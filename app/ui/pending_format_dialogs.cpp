#include "app/ui/pending_format_dialogs.h"

#include <QMessageBox>

namespace zorvex::app {

bool PendingFormatDialogs::ChooseFormat(bool, const QString&) {
    QMessageBox::information(parent_, QStringLiteral("提示"),
                             QStringLiteral("此版本尚未包含输出格式选择窗口，暂时无法添加文件。"));
    return false;
}

}  // namespace zorvex::app
