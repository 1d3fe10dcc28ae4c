// Runs a real batch through the real main window, on whatever display Qt is
// given: the files are dropped onto the queue with a fixed format (MPEG-4
// video, MP2 sound, AVI, or the --set lines and --ext), converted with the
// window's "同时进行转换的文件个数：" (default "自动"), and the program reports
// the rows, the longest gap between two turns of the event loop during the
// batch, and optional screenshots of the converting queue in given skins. The
// preview panel shows the selected row's picture during the batch.
//
//   zorvex-workbench-run --out DIR [--at-once auto|N] [--set NAME=VALUE]... [--ext EXT]
//                        [--shots DIR --skins skin4,skin15]
//                        [--naming new|overwrite] [--runs N] [--stop-after SECONDS] FILE...
//
// --runs converts the same queue N times ("转换" again once a batch has ended);
// --stop-after presses "停止" (and agrees) that long after a batch first showed
// progress. --add-only measures the add instead: the longest gap between two
// turns of the event loop from the drop until every file is queued and the
// selected row shows its picture in the preview panel, and converts nothing.
// Exit status 0 when every row ended "完成" at 100 % (with --add-only: when every
// file was queued).
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>

#include "app/core/workbench/controller.h"
#include "app/core/workbench/converter_port.h"
#include "app/core/workbench/format_dialogs.h"
#include "app/core/workbench/output_naming.h"
#include "app/core/workbench/startup.h"
#include "app/platform/data_folder.h"
#include "app/platform/power.h"
#include "app/platform/qt_dispatcher.h"
#include "app/platform/settings_store.h"
#include "app/platform/shell.h"
#include "app/platform/thread_pool_work.h"
#include "app/ui/main_window.h"
#include "app/ui/preview_panel.h"
#include "app/ui/skin.h"
#include "app/ui/video_view.h"
#include "media/cpu_cores.h"
#include "media/loader.h"
#include "tools/workbench_run/agree_to_message_boxes.h"
#include "tools/workbench_run/fixed_format.h"

using namespace zorvex;
using namespace zorvex::app;

namespace {

// The event loop's pulse: a precise 5 ms timer keeps the longest time by
// which one of its runs came late, that is how long the loop was busy with
// something else. (A zero-time timer would keep a core busy itself and so
// distort the measurement it is there for.)
class Pulse {
public:
    static constexpr qint64 kIntervalNs = 5'000'000;
    Pulse() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(static_cast<int>(kIntervalNs / 1'000'000));
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            ++turns_;
            longestGap_ = std::max(longestGap_, sinceLast_.nsecsElapsed() - kIntervalNs);
            sinceLast_.restart();
        });
    }
    // Timed from here: work queued right after the start (the drop) runs
    // before the first pulse, and that first wait is the one that counts.
    void Start() {
        sinceLast_.start();
        timer_.start();
    }
    void Stop() { timer_.stop(); }
    double LongestGapMs() const { return static_cast<double>(longestGap_) / 1e6; }
    int Turns() const { return turns_; }

private:
    QTimer timer_;
    QElapsedTimer sinceLast_;
    qint64 longestGap_ = 0;
    int turns_ = 0;
};

// Serves the events that are there, or sleeps until one comes (at most ms).
// (processEvents with a time limit never sleeps: it would keep a core busy
// and slow down the very batch being measured.)
void WaitForEvents(int ms) {
    QTimer wake;
    wake.setSingleShot(true);
    wake.start(ms);
    QApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// Drops the files from inside the event loop, as a user's drop arrives, and
// turns the loop until they are all queued or nothing has changed for 30 s,
// and then until the row the add selects shows its first picture in the
// preview panel. Returns the rows queued.
int MeasureAdd(WorkbenchController& c, const QStringList& files, const VideoView& preview) {
    Pulse pulse;
    QElapsedTimer clock, sinceChange;
    pulse.Start();
    clock.start();
    sinceChange.start();
    bool dropped = false;
    QTimer::singleShot(0, [&] {
        c.AddDroppedFiles(files);
        dropped = true;
    });
    int rows = c.RowCount();
    // Until the add has ended (its files open in the background).
    while ((!dropped || c.Adding()) && sinceChange.elapsed() < 30000) {
        WaitForEvents(50);
        if (c.RowCount() != rows) {
            rows = c.RowCount();
            sinceChange.restart();
        }
    }
    const double added = static_cast<double>(clock.elapsed()) / 1000.0;
    while (rows > 0 && preview.Picture().isNull() && clock.elapsed() < 60000) WaitForEvents(50);
    pulse.Stop();
    std::printf("added %d of %lld files in %.2f s\n", rows, static_cast<long long>(files.size()),
                added);
    std::printf("the selected row's picture showed after %.2f s\n",
                static_cast<double>(clock.elapsed()) / 1000.0);
    std::printf("longest gap between event-loop turns while adding: %.1f ms over %d turns\n",
                pulse.LongestGapMs(), pulse.Turns());
    return rows;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QCommandLineParser parser;
    parser.addOption({"out", "output folder", "dir"});
    parser.addOption(
        {"at-once", "files converted at the same time (auto or 1 to 10)", "n", "auto"});
    parser.addOption({"set", "an option line of every output (NAME=VALUE)", "line"});
    parser.addOption({"ext", "the outputs' extension", "ext", ".avi"});
    parser.addOption({"shots", "screenshot folder", "dir"});
    parser.addOption({"skins", "skins of the screenshots", "names", "skin4,skin15"});
    parser.addOption(
        {"naming", "existing outputs: new (a (New_k) name) or overwrite", "policy", "new"});
    parser.addOption({"runs", "batches run on the same queue", "n", "1"});
    parser.addOption({"stop-after", "seconds after which each batch is stopped", "s"});
    parser.addOption({"add-only", "measure adding the files; convert nothing"});
    parser.addPositionalArgument("files", "source files");
    parser.process(application);
    const QStringList files = parser.positionalArguments();
    if (files.isEmpty() || !parser.isSet("out")) parser.showHelp(2);

    QtMainThreadDispatcher dispatcher;
    SetMainThreadDispatcher(&dispatcher);
    Loader().SetLibraryFolder(DefaultLibraryFolder());

    MemorySettingsStore settings;
    settings.WriteString("OutPath", "OutPath", QDir(parser.value("out")).absolutePath());
    RecordingShell shell;
    RecordingPowerControl power;
    ComponentConverter converter;
    ThreadPoolWork background;
    std::string optionText;
    for (const QString& line : parser.values("set")) optionText += line.toStdString() + "\n";
    QString extension = parser.value("ext");
    if (!extension.startsWith('.')) extension.prepend('.');
    FixedFormat formats(optionText, extension);
    const QString atOnce = parser.value("at-once");
    int status = 1;
    {
        MainWindow window(MainWindow::Services{converter,
                                               settings,
                                               shell,
                                               power,
                                               &formats,
                                               ProgramDataFolder(),
                                               QString::fromStdString(DefaultLibraryFolder()),
                                               parser.value("out"),
                                               nullptr,
                                               {},
                                               nullptr,
                                               nullptr,
                                               nullptr,
                                               &background});
        WorkbenchController& c = window.Controller();
        c.SetCompletionAction(caNothing);
        c.SetFilesAtOnce(atOnce == "auto" ? kFilesAtOnceAuto
                                          : std::clamp(atOnce.toInt(), 1, 10) - 1);
        c.SetNamingPolicy(parser.value("naming") == "overwrite" ? npOverwrite : npNewName);
        AgreeToMessageBoxes(&window);
        window.show();
        QApplication::processEvents();

        QStringList absolute;
        for (const QString& f : files) absolute << QFileInfo(f).absoluteFilePath();
        if (parser.isSet("add-only")) {
            const int added = MeasureAdd(c, absolute, *window.Preview()->View());
            c.Close();
            SetMainThreadDispatcher(nullptr);
            return added == files.size() ? 0 : 1;
        }
        c.AddDroppedFiles(absolute);
        while (c.Adding()) WaitForEvents(50);  // the files open in the background
        if (c.RowCount() != files.size()) {
            std::fprintf(stderr, "queued %d of %lld files:\n%s\n", c.RowCount(),
                         static_cast<long long>(files.size()),
                         c.ConversionLog().join('\n').toUtf8().constData());
            return 1;
        }

        // The selected row's first picture in the preview panel (the add
        // selects a row and opens it, paused).
        QElapsedTimer waited;
        waited.start();
        const VideoView* view = window.Preview()->View();
        while (view->Picture().isNull() && waited.elapsed() < 10000) {
            WaitForEvents(50);
        }
        const QImage picture = view->Picture();
        if (picture.isNull()) {
            std::printf("preview panel: no picture\n");
        } else {
            std::printf("preview panel: picture %dx%d\n", picture.width(), picture.height());
        }

        QElapsedTimer clock;
        Pulse pulse;

        QStringList shotSkins = parser.value("skins").split(',', Qt::SkipEmptyParts);
        const QString shotFolder = parser.value("shots");
        if (!shotFolder.isEmpty()) QDir().mkpath(shotFolder);
        QTimer shots;
        shots.setInterval(700);
        QObject::connect(&shots, &QTimer::timeout, [&] {
            if (shotSkins.isEmpty() || !c.Converting()) return;
            bool started = false;
            for (const QueueRow& row : c.Rows()) started = started || row.progress > 0;
            if (!started) return;
            const QString skin = shotSkins.takeFirst();
            ApplySkin(&window, skin, ProgramDataFolder());
            QApplication::processEvents();
            const QString path = shotFolder + "/converting_" + skin + ".png";
            window.grab().save(path);
            std::printf("screenshot %s\n", path.toUtf8().constData());
        });

        clock.start();
        pulse.Start();
        if (!shotFolder.isEmpty()) shots.start();
        const int runs = std::max(1, parser.value("runs").toInt());
        for (int run = 0; run < runs; ++run) {
            c.StartOrResume();
            // Counted from the first progress shown, so that a loaded machine
            // still stops a run that has written something.
            const qint64 stopAfter =
                parser.isSet("stop-after")
                    ? static_cast<qint64>(parser.value("stop-after").toDouble() * 1000)
                    : -1;
            QElapsedTimer sinceProgress;
            while (c.Converting()) {
                WaitForEvents(50);
                if (stopAfter < 0 || !c.Commands().stop) continue;
                bool progressed = false;
                for (const QueueRow& row : c.Rows()) progressed = progressed || row.progress > 0;
                if (progressed && !sinceProgress.isValid()) sinceProgress.start();
                if (sinceProgress.isValid() && sinceProgress.elapsed() >= stopAfter) {
                    c.StopBatch();
                }
            }
        }
        pulse.Stop();
        shots.stop();
        const double seconds = clock.elapsed() / 1000.0;

        bool allDone = true;
        for (int i = 0; i < c.RowCount(); ++i) {
            const QueueRow& row = c.Rows()[i];
            std::printf("row %d  %s  %s  %d%%  %s\n", i + 1, row.sourceFile.toUtf8().constData(),
                        row.currentTime.toUtf8().constData(), row.progress,
                        row.status.toUtf8().constData());
            allDone = allDone && row.status == kStatusDone && row.progress == 100;
        }
        std::printf("batch of %d files, %d at once (%s), %d usable cores: %.2f s\n", c.RowCount(),
                    c.FilesAtOnceFor(c.RowCount()), atOnce.toUtf8().constData(), UsableCores(),
                    seconds);
        std::printf("longest gap between event-loop turns: %.1f ms over %d turns\n",
                    pulse.LongestGapMs(), pulse.Turns());
        status = allDone ? 0 : 1;
        c.Close();
    }
    SetMainThreadDispatcher(nullptr);
    return status;
}
