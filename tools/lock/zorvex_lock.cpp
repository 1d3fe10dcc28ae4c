// zorvex-lock: the administrator's tool that switches the start-up password
// lock on or off by writing the machine-wide store the program reads. Run it
// as root; the program itself never writes the store.
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cstdio>
#include <iostream>
#include <string>

#include "app/core/lock/password_lock.h"
#include "app/platform/machine_store.h"

namespace {

using zorvex::app::FileMachineStore;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

void PrintUsage(std::FILE* out) {
    std::fprintf(out,
                 "Usage: zorvex-lock [--root DIR] COMMAND\n"
                 "\n"
                 "Commands:\n"
                 "  set     lock start-up with a password; asks for it twice on a terminal,\n"
                 "          otherwise reads one line from standard input\n"
                 "  clear   remove the lock\n"
                 "  status  print whether start-up is locked\n"
                 "\n"
                 "--root DIR  the store's root folder (default %s)\n",
                 qPrintable(FileMachineStore::DefaultRoot()));
}

bool ReadLine(std::string& line) {
    if (!std::getline(std::cin, line)) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

// Reads a line from the terminal without echoing it.
bool ReadHidden(const char* prompt, std::string& line) {
    std::fprintf(stderr, "%s", prompt);
    termios saved{};
    const bool terminal = ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    const bool ok = ReadLine(line);
    if (terminal) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::fprintf(stderr, "\n");
    return ok;
}

bool AskPassword(std::string& password) {
    if (!::isatty(STDIN_FILENO)) {
        if (ReadLine(password)) return true;
        std::fprintf(stderr, "zorvex-lock: no password on standard input\n");
        return false;
    }
    std::string again;
    if (!ReadHidden("New start-up password: ", password) ||
        !ReadHidden("Repeat the password: ", again)) {
        return false;
    }
    if (password != again) {
        std::fprintf(stderr, "zorvex-lock: the passwords differ; nothing changed\n");
        return false;
    }
    return true;
}

int Set(const FileMachineStore& store) {
    std::string password;
    if (!AskPassword(password)) return kExitFailed;
    const QString folder = store.KeyFolder(zorvex::app::kLockKeyPath);
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "zorvex-lock: cannot create %s\n", qPrintable(folder));
        return kExitFailed;
    }
    QSaveFile file(folder + '/' + zorvex::app::kLockValueName);
    const QByteArray encoded = zorvex::app::EncodeLockPassword(QByteArray::fromStdString(password));
    if (!file.open(QIODevice::WriteOnly) || file.write(encoded) != encoded.size() ||
        !file.commit()) {
        std::fprintf(stderr, "zorvex-lock: cannot write %s: %s\n", qPrintable(file.fileName()),
                     qPrintable(file.errorString()));
        return kExitFailed;
    }
    std::printf("Start-up is locked.\n");
    return kExitOk;
}

int Clear(const FileMachineStore& store) {
    const QString folder = store.KeyFolder(zorvex::app::kLockKeyPath);
    if (QFileInfo(folder).isDir() && !QDir(folder).removeRecursively()) {
        std::fprintf(stderr, "zorvex-lock: cannot remove %s\n", qPrintable(folder));
        return kExitFailed;
    }
    std::printf("Start-up is not locked.\n");
    return kExitOk;
}

int Status(const FileMachineStore& store) {
    const bool locked = zorvex::app::PasswordLock(store).IsLocked();
    std::printf(locked ? "Start-up is locked.\n" : "Start-up is not locked.\n");
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    // Every user runs the program and must see the key and read its value,
    // whatever the administrator's umask; only root may change them.
    ::umask(022);
    QString root = FileMachineStore::DefaultRoot();
    std::string command;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            PrintUsage(stdout);
            return kExitOk;
        }
        if (arg == "--root" && i + 1 < argc) {
            root = QString::fromLocal8Bit(argv[++i]);
        } else if (command.empty() && arg.rfind("-", 0) != 0) {
            command = arg;
        } else {
            PrintUsage(stderr);
            return kExitUsage;
        }
    }
    const FileMachineStore store(root);
    if (command == "set") return Set(store);
    if (command == "clear") return Clear(store);
    if (command == "status") return Status(store);
    PrintUsage(stderr);
    return kExitUsage;
}
