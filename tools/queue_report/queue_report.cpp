// The real program with one addition for scripted end-to-end runs: at every
// batch end the queue's rows are appended to a report file, which a driving
// script waits for and checks.
//
//   zorvex-queue-report REPORT_FILE [program arguments]
//
// Each row is "N<TAB>source<TAB>progress<TAB>status", then a "batch end" line.
#include <QFile>
#include <QString>
#include <QTextStream>
#include <cstdio>

#include "app/core/workbench/controller.h"
#include "app/ui/main_window.h"
#include "app/ui/program.h"

using namespace zorvex::app;

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: zorvex-queue-report REPORT_FILE [program arguments]\n");
        return 2;
    }
    const QString report = QString::fromLocal8Bit(argv[1]);
    // The program sees its own name and the arguments after the report file.
    argv[1] = argv[0];
    return RunProgram(argc - 1, argv + 1, [&report](MainWindow& window) {
        WorkbenchController& c = window.Controller();
        QObject::connect(&c, &WorkbenchController::BatchEnded, &window, [&c, report] {
            QFile file(report);
            if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return;
            QTextStream stream(&file);
            for (int i = 0; i < c.RowCount(); ++i) {
                const QueueRow& row = c.Rows()[i];
                stream << i + 1 << '\t' << row.sourceFile << '\t' << row.progress << '\t'
                       << row.status << '\n';
            }
            stream << "batch end\n";
        });
    });
}
