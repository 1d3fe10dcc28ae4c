// Helpers for driving the format windows offscreen.
#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>

#include "tests/app/qt_test_app.h"

namespace zorvex::app {

inline QApplication& App() {
    return test::TestApplication();
}

// Runs actions one after another while a modal window's loop is running: each
// step waits until its condition holds.
class ModalScript {
public:
    void Then(std::function<bool()> when, std::function<void()> action) {
        steps_.push_back({std::move(when), std::move(action)});
    }
    void Start() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (++ticks_ > 2000) {  // ten seconds: give up, close whatever is modal
                failed = true;
                if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
                return;
            }
            if (!steps_.empty() && steps_.front().first()) {
                auto action = std::move(steps_.front().second);
                steps_.pop_front();
                action();
            }
        });
        timer_.start();
    }
    bool Done() const { return steps_.empty(); }
    bool failed = false;

private:
    std::deque<std::pair<std::function<bool()>, std::function<void()>>> steps_;
    QTimer timer_;
    int ticks_ = 0;
};

}  // namespace zorvex::app
