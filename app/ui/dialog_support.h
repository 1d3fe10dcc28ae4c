// Small pieces the auxiliary windows share.
#pragma once

#include <QPixmap>
#include <QString>

class QWidget;

namespace zorvex::app {

// Moves a top-level window to the middle of its screen.
void CenterOnScreen(QWidget* window);

// Labels show one line; a cut-out text may end in a line break.
QString OneLine(const QString& text);

// The pictures beside the password prompt and the update steps.
QPixmap LockPicture(int size);
QPixmap UpdatePicture(int size);

}  // namespace zorvex::app
