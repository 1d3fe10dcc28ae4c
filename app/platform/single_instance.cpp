#include "app/platform/single_instance.h"

#include <unistd.h>

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QtEndian>

namespace zorvex::app {

namespace {
constexpr quint32 kMagic = 0x5a565831;  // "ZVX1": a hand-over of this program's version
constexpr int kConnectMs = 1000;
constexpr int kAnswerMs = 5000;
// Far more than any list of paths; a sender that goes past it is cut off.
constexpr qint64 kMaxMessageBytes = 16 * 1024 * 1024;
constexpr char kTaken = 'k';
}  // namespace

QString DefaultInstanceSocket(const QString& programFolder) {
    const QString installation = QString::fromLatin1(
        QCryptographicHash::hash(programFolder.toUtf8(), QCryptographicHash::Sha1)
            .toHex()
            .left(12));
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir()) {
        return runtime + QStringLiteral("/zorvex-") + installation;
    }
    return QDir::tempPath() + QStringLiteral("/zorvex-") + QString::number(::getuid()) + '-' +
           installation;
}

SingleInstance::SingleInstance(QString socketPath, QObject* parent)
    : QObject(parent), socketPath_(std::move(socketPath)) {
    // Only this user may hand files over (the temporary folder is shared).
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::ServeConnection);
}

bool SingleInstance::HandOffOrServe(const QStringList& files) {
    if (HandOff(files)) return true;
    if (server_.listen(socketPath_)) return false;
    if (server_.serverError() == QAbstractSocket::AddressInUseError) {
        // Either another start got there first, or a program that ended
        // without closing its socket left the name behind.
        if (HandOff(files)) return true;
        QLocalServer::removeServer(socketPath_);
        server_.listen(socketPath_);
    }
    return false;  // serving, or on its own when the name cannot be taken
}

bool SingleInstance::HandOff(const QStringList& files) {
    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    if (!socket.waitForConnected(kConnectMs)) return false;
    QByteArray message;
    QDataStream out(&message, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    out << kMagic << files;
    socket.write(message);
    if (!socket.waitForBytesWritten(kAnswerMs)) return false;
    // The running program answers once it has the files; a program that hangs
    // does not answer, and this start opens a window of its own instead.
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(kAnswerMs)) return false;
    }
    char answer = 0;
    return socket.getChar(&answer) && answer == kTaken;
}

void SingleInstance::ServeConnection() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->bytesAvailable() > kMaxMessageBytes) {
                socket->abort();
                return;
            }
            // Whatever does not start like a hand-over is not read any further.
            const QByteArray head = socket->peek(sizeof kMagic);
            if (head.size() < int(sizeof kMagic)) return;
            if (qFromBigEndian<quint32>(head.constData()) != kMagic) {
                socket->abort();
                return;
            }
            QDataStream in(socket);
            in.setVersion(QDataStream::Qt_6_0);
            in.startTransaction();
            quint32 magic = 0;
            QStringList files;
            in >> magic >> files;
            if (!in.commitTransaction()) {
                // A partial message waits for the rest.
                if (in.status() != QDataStream::ReadPastEnd) socket->abort();
                return;
            }
            socket->putChar(kTaken);
            socket->flush();
            socket->disconnectFromServer();
            emit FilesReceived(files);
        });
    }
}

}  // namespace zorvex::app
