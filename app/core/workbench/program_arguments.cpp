#include "app/core/workbench/program_arguments.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QFileInfo>

#include "app/core/workbench/product_info.h"

namespace zorvex::app {

namespace {

// What Qt's application object reads from the command line itself; listed so
// that they are not taken for unknown options (hidden from --help).
constexpr const char* kQtOptionsWithValue[] = {
    "platform",      "platformpluginpath",
    "platformtheme", "plugin",
    "style",         "stylesheet",
    "session",       "display",
    "geometry",      "qwindowgeometry",
    "qwindowicon",   "qwindowtitle",
    "title",         "name",
    "qmljsdebugger",
};
constexpr const char* kQtFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

}  // namespace

ProgramArguments ParseProgramArguments(const QStringList& arguments) {
    QCommandLineParser parser;
    // "-platform xcb" is one option, as Qt's application object reads it.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        QStringLiteral("%1 %2: converts video and audio files in batches.\n"
                       "The files and folders given are added to the queue as "
                       "\"添加多个视频文件\" adds them (a folder: the media files in it and "
                       "its subfolders); while the program runs, another start hands its "
                       "files to it and ends.")
            .arg(kProductName, kProductVersion));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("files"),
                                 QStringLiteral("Video or audio files, or folders, to add."),
                                 QStringLiteral("[FILE|FOLDER...]"));
    for (const char* name : kQtOptionsWithValue) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setValueName(QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char* name : kQtFlags) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }

    // Without an application object Qt does not know the program's name.
    const QString program =
        arguments.isEmpty() ? QStringLiteral("zorvex") : QFileInfo(arguments.first()).fileName();
    const auto helpText = [&] {
        QString text = parser.helpText();
        text.replace(QStringLiteral("<executable_name>"), program);
        // Qt's Qt-specific options need its application object; --help-all
        // shows the same text as --help here.
        text.remove(
            QStringLiteral("  --help-all     Displays help including Qt specific options.\n"));
        return text;
    };

    ProgramArguments result;
    if (!parser.parse(arguments)) {
        result.action = ProgramArguments::Action::Usage;
        result.text = program + QStringLiteral(": ") + parser.errorText() + u'\n' + helpText();
        return result;
    }
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        result.action = ProgramArguments::Action::Help;
        result.text = helpText();
    } else if (parser.isSet(version)) {
        result.action = ProgramArguments::Action::Version;
        result.text = kProductName + u' ' + kProductVersion + u'\n';
    } else {
        result.files = parser.positionalArguments();
    }
    return result;
}

}  // namespace zorvex::app
