// Shared helpers of the preview tests.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <functional>
#include <string>

#include "media/loader.h"
#include "tests/support/fixtures.h"
#include "tests/support/process.h"

namespace zorvex::test {

// One application object per test process, as the program has.
inline QApplication& EnsureApplication() {
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// Processes events until done() or the timeout; true when done.
inline bool SpinUntil(const std::function<bool()>& done, int timeoutMs = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// a.avi: 320 x 240 test pattern with sound, 2 s.
inline std::string PreviewClip() {
    return Fixture(
        "preview_a.avi",
        "-f lavfi -i testsrc=size=320x240:rate=25 -f lavfi -i "
        "sine=frequency=440:sample_rate=44100 -t 2 -ac 2 -c:v mpeg4 -q:v 3 -c:a pcm_s16le");
}

// Mean absolute difference of two images of one size, over all channels.
inline double MeanDifference(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_RGB888);
    const QImage y = b.convertToFormat(QImage::Format_RGB888);
    if (x.size() != y.size() || x.isNull()) return 1e9;
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const uchar* p = x.constScanLine(row);
        const uchar* q = y.constScanLine(row);
        for (int i = 0; i < x.width() * 3; ++i) sum += std::abs(p[i] - q[i]);
    }
    return sum / (static_cast<double>(x.width()) * x.height() * 3);
}

}  // namespace zorvex::test
