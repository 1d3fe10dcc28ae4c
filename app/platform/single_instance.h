// One program window per user: a second start hands its files to the program
// that runs already, over a local socket, and ends.
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QStringList>

namespace zorvex::app {

// The socket of the program whose executable is in programFolder: one per user
// and installation (a build tree and the installed program do not meet), in
// $XDG_RUNTIME_DIR, or in the temporary folder when the session has none.
QString DefaultInstanceSocket(const QString& programFolder);

class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(QString socketPath, QObject* parent = nullptr);

    // Hands the files (absolute paths; may be none) to the program that runs
    // already and returns true once it has taken them. Otherwise this program
    // becomes the one the next starts hand their files to, and false comes back.
    bool HandOffOrServe(const QStringList& files);
    bool Serving() const { return server_.isListening(); }

signals:
    // Another start handed these files over (an empty list: it was started
    // without files); the window should come to the front.
    void FilesReceived(const QStringList& files);

private:
    bool HandOff(const QStringList& files);
    void ServeConnection();

    QString socketPath_;
    QLocalServer server_;
};

}  // namespace zorvex::app
