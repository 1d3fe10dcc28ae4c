// The program's command line, read before any window or display is touched:
// zorvex [OPTION]... [FILE|FOLDER]...
#pragma once

#include <QString>
#include <QStringList>

namespace zorvex::app {

struct ProgramArguments {
    enum class Action {
        Run,      // start the program with files (none: an empty queue)
        Help,     // print text on standard output, exit kExitOk
        Version,  // print text on standard output, exit kExitOk
        Usage,    // a wrong command line: print text on standard error, exit kExitUsage
    };
    static constexpr int kExitOk = 0;
    static constexpr int kExitUsage = 2;

    Action action = Action::Run;
    QStringList files;  // as given (Run)
    QString text;       // what to print (Help, Version, Usage)
};

// Reads the arguments (the first is the program's own path), with Qt's
// conventions for options (-h/--help, -v/--version, "--" before file names
// that start with "-"). The options of Qt's own application object
// (-platform NAME, -style NAME, -reverse, ...) are accepted and left to it.
ProgramArguments ParseProgramArguments(const QStringList& arguments);

}  // namespace zorvex::app
