// A user who agrees to everything, for programs that drive the real main
// window without a person: whatever message box opens is answered with its
// default button ("确定"), and its text is printed.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

namespace zorvex::app {

inline void AgreeToMessageBoxes(QObject* owner) {
    auto* timer = new QTimer(owner);
    QObject::connect(timer, &QTimer::timeout, [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) return;
        std::printf("message box: %s\n", box->text().toUtf8().constData());
        std::fflush(stdout);
        if (QPushButton* button = box->defaultButton()) {
            button->click();
        } else {
            box->accept();
        }
    });
    timer->start(50);
}

}  // namespace zorvex::app
