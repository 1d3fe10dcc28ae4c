// Runs a real batch through the real main window, on whatever display Qt is
// given: the files are dropped onto the queue with a fixed format (MPEG-4
// video, MP2 sound, AVI), converted with N files at once, and the program
// reports the rows, the longest gap between two turns of the event loop during
// the batch, and optional screenshots of the converting queue in given skins.
//
//   zorvex-workbench-run --out DIR [--at-once N] [--shots DIR --skins skin4,skin15]
//                        [--naming new|overwrite] [--runs N] [--stop-after SECONDS] FILE...
//
// --runs converts the same queue N times ("转换" again once a batch has ended);
// --stop-after presses "停止" (and agrees) that long after a batch first showed
// progress.
// Exit status 0 when every row ended "完成" at 100 %.
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
#include "app/platform/data_folder.h"
#include "app/platform/power.h"
#include "app/platform/qt_dispatcher.h"
#include "app/platform/settings_store.h"
#include "app/platform/shell.h"
#include "app/ui/main_window.h"
#include "app/ui/skin.h"
#include "media/loader.h"
#include "tools/workbench_run/agree_to_message_boxes.h"
#include "tools/workbench_run/fixed_format.h"

using namespace zorvex;
using namespace zorvex::app;

namespace {}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QCommandLineParser parser;
    parser.addOption({"out", "output folder", "dir"});
    parser.addOption({"at-once", "files converted at the same time", "n", "1"});
    parser.addOption({"shots", "screenshot folder", "dir"});
    parser.addOption({"skins", "skins of the screenshots", "names", "skin4,skin15"});
    parser.addOption(
        {"naming", "existing outputs: new (a (New_k) name) or overwrite", "policy", "new"});
    parser.addOption({"runs", "batches run on the same queue", "n", "1"});
    parser.addOption({"stop-after", "seconds after which each batch is stopped", "s"});
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
    FixedFormat formats;
    int status = 1;
    {
        MainWindow window(MainWindow::Services{
            converter, settings, shell, power, &formats, ProgramDataFolder(),
            QString::fromStdString(DefaultLibraryFolder()), parser.value("out")});
        WorkbenchController& c = window.Controller();
        c.SetCompletionAction(caNothing);
        c.SetFilesAtOnce(std::clamp(parser.value("at-once").toInt(), 1, 10) - 1);
        c.SetNamingPolicy(parser.value("naming") == "overwrite" ? npOverwrite : npNewName);
        AgreeToMessageBoxes(&window);
        window.show();
        QApplication::processEvents();

        QStringList absolute;
        for (const QString& f : files) absolute << QFileInfo(f).absoluteFilePath();
        c.AddDroppedFiles(absolute);
        if (c.RowCount() != files.size()) {
            std::fprintf(stderr, "queued %d of %lld files:\n%s\n", c.RowCount(),
                         static_cast<long long>(files.size()),
                         c.ConversionLog().join('\n').toUtf8().constData());
            return 1;
        }

        // The event loop's pulse: a zero-time timer runs once per turn.
        QElapsedTimer clock, sinceLast;
        qint64 longestGap = 0;
        int turns = 0;
        QTimer pulse;
        pulse.setInterval(0);
        QObject::connect(&pulse, &QTimer::timeout, [&] {
            if (turns++ > 0) longestGap = std::max(longestGap, sinceLast.nsecsElapsed());
            sinceLast.restart();
        });

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
        pulse.start();
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
                QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
                if (stopAfter < 0 || !c.Commands().stop) continue;
                bool progressed = false;
                for (const QueueRow& row : c.Rows()) progressed = progressed || row.progress > 0;
                if (progressed && !sinceProgress.isValid()) sinceProgress.start();
                if (sinceProgress.isValid() && sinceProgress.elapsed() >= stopAfter) {
                    c.StopBatch();
                }
            }
        }
        pulse.stop();
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
        std::printf("batch of %d files, %s at once: %.2f s\n", c.RowCount(),
                    parser.value("at-once").toUtf8().constData(), seconds);
        std::printf("longest gap between event-loop turns: %.1f ms over %d turns\n",
                    longestGap / 1e6, turns);
        status = allDone ? 0 : 1;
        c.Close();
    }
    SetMainThreadDispatcher(nullptr);
    return status;
}
