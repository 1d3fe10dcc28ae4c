#include "app/platform/stop_signals.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <iterator>

namespace zorvex::app {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
int g_writeFd = -1;

// Only a write is safe in a signal handler; the main thread does the rest.
void OnSignal(int signal) {
    const char byte = static_cast<char>(signal);
    if (g_writeFd >= 0) (void)!::write(g_writeFd, &byte, 1);
}

}  // namespace

StopSignals::StopSignals(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds_) != 0) return;
    g_writeFd = fds_[0];
    notifier_ = new QSocketNotifier(fds_[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &StopSignals::Read);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &action, &previous_[i]);
}

StopSignals::~StopSignals() {
    if (notifier_ == nullptr) return;
    for (size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &previous_[i], nullptr);
    g_writeFd = -1;
    ::close(fds_[0]);
    ::close(fds_[1]);
}

void StopSignals::Read() {
    char byte = 0;
    while (::read(fds_[1], &byte, 1) == 1) {
        if (received_) continue;
        received_ = true;
        emit Received(static_cast<unsigned char>(byte));
    }
}

}  // namespace zorvex::app
