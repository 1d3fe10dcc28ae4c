// SIGTERM, SIGINT and SIGHUP as a Qt signal on the main thread, so that the
// program can stop its tasks and close its window instead of ending in the
// middle of a conversion. One instance at a time; the previous handlers come
// back when it goes.
#pragma once

#include <QObject>
#include <csignal>

class QSocketNotifier;

namespace zorvex::app {

class StopSignals : public QObject {
    Q_OBJECT
public:
    explicit StopSignals(QObject* parent = nullptr);
    ~StopSignals() override;

signals:
    // The first stop signal; later ones are dropped (the program is closing).
    void Received(int signal);

private:
    void Read();

    int fds_[2] = {-1, -1};
    QSocketNotifier* notifier_ = nullptr;
    struct sigaction previous_[3]{};
    bool received_ = false;
};

}  // namespace zorvex::app
