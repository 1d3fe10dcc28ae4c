// The real program with a user who converts whatever it is given, for tests of
// what survives a stop signal or a kill: files from the command line get a
// fixed format (MPEG-4 video, MP2 sound, AVI), message boxes are answered with
// their default button (so a queue left by a killed run is taken back), the
// batch starts once rows are queued, and at its end the rows are printed and
// the program closes. ZORVEX_RUN_OUT names the output folder.
//
//   zorvex-program-run [FILE...]
//
// It prints "converting N rows" when the batch starts and one
// "row N<TAB>source<TAB>progress<TAB>status" line per row at its end.
#include <QTimer>
#include <cstdio>

#include "app/core/workbench/controller.h"
#include "app/ui/main_window.h"
#include "app/ui/program.h"
#include "tools/workbench_run/agree_to_message_boxes.h"
#include "tools/workbench_run/fixed_format.h"

using namespace zorvex::app;

int main(int argc, char** argv) {
    FixedFormat formats;
    return RunProgram(argc, argv, [&formats](MainWindow& window) {
        window.SetFormatDialogs(&formats);
        WorkbenchController& c = window.Controller();
        c.SetCompletionAction(caNothing);
        const QString out = qEnvironmentVariable("ZORVEX_RUN_OUT");
        if (!out.isEmpty()) c.SetOutputFolder(out);
        AgreeToMessageBoxes(&window);
        auto* starter = new QTimer(&window);
        QObject::connect(starter, &QTimer::timeout, &window, [&c, starter] {
            if (c.RowCount() == 0 || c.Converting() || !c.Commands().start) return;
            starter->stop();
            std::printf("converting %d rows\n", c.RowCount());
            std::fflush(stdout);
            c.StartOrResume();
        });
        starter->start(100);
        QObject::connect(&c, &WorkbenchController::BatchEnded, &window, [&c, &window] {
            for (int i = 0; i < c.RowCount(); ++i) {
                const QueueRow& row = c.Rows()[i];
                std::printf("row %d\t%s\t%d\t%s\n", i + 1, row.sourceFile.toUtf8().constData(),
                            row.progress, row.status.toUtf8().constData());
            }
            std::fflush(stdout);
            QTimer::singleShot(0, &window, &QWidget::close);
        });
    });
}
