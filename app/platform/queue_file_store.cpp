#include "app/platform/queue_file_store.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <cstring>

namespace zorvex::app {

FileQueueStore::FileQueueStore(const QString& folder)
    : path_(QDir(folder).filePath(QStringLiteral("queue.json"))) {
    QDir().mkpath(folder);
    const QByteArray lockPath = QFile::encodeName(path_ + QStringLiteral(".lock"));
    UniqueFd fd(::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (fd.Valid() && ::flock(fd.Get(), LOCK_EX | LOCK_NB) == 0) lock_ = std::move(fd);
}

std::optional<SavedQueue> FileQueueStore::Leftover() {
    if (!Owner()) return std::nullopt;
    const QByteArray path = QFile::encodeName(path_);
    // Never a link, and never waiting on a pipe or a device: the file is
    // opened without following a link and without blocking, and read only
    // when it is a plain file of a sensible size.
    UniqueFd fd(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.Valid() && errno == ENOENT) return std::nullopt;
    SavedQueue refused;
    const QString name = QDir::toNativeSeparators(path_);
    struct stat st {};
    if (!fd.Valid() && errno == ELOOP) {
        refused.problems << QStringLiteral("上次的转换列表 %1 是符号链接，未读取").arg(name);
        return refused;
    }
    if (!fd.Valid() || ::fstat(fd.Get(), &st) != 0) {
        const int error = errno;
        refused.problems << QStringLiteral("无法读取上次的转换列表 %1: %2")
                                .arg(name, QString::fromLocal8Bit(std::strerror(error)));
        return refused;
    }
    if (!S_ISREG(st.st_mode)) {
        refused.problems << QStringLiteral("上次的转换列表 %1 不是普通文件，未读取").arg(name);
        return refused;
    }
    if (st.st_size > kMaxQueueFileBytes) {
        refused.problems << QStringLiteral("上次的转换列表 %1 过大（%2 字节），未读取")
                                .arg(name)
                                .arg(st.st_size);
        return refused;
    }
    QByteArray text;
    text.resize(static_cast<qsizetype>(st.st_size));
    qsizetype got = 0;
    while (got < text.size()) {
        const ssize_t n =
            ::read(fd.Get(), text.data() + got, static_cast<size_t>(text.size() - got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += n;
    }
    text.truncate(got);
    std::optional<SavedQueue> queue = SavedQueueFromJson(text);
    if (!queue) {
        refused.problems << QStringLiteral("上次的转换列表 %1 已损坏，未读取").arg(name);
        return refused;
    }
    if (queue->rows.empty() && queue->problems.isEmpty()) return std::nullopt;
    return queue;
}

QString FileQueueStore::SetAside() {
    if (!Owner()) return {};
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QByteArray from = QFile::encodeName(path_);
    for (int k = 0; k < 100; ++k) {
        const QString to =
            QDir(QFileInfo(path_).absolutePath())
                .filePath(QStringLiteral("queue-%1%2.json")
                              .arg(stamp, k == 0 ? QString() : "-" + QString::number(k)));
        const QByteArray target = QFile::encodeName(to);
        if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, target.constData(),
                        RENAME_NOREPLACE) == 0) {
            return to;
        }
        if (errno != EEXIST) return {};
    }
    return {};
}

bool FileQueueStore::Save(const SavedQueue& queue) {
    if (!Owner()) return false;
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(SavedQueueToJson(queue));
    return file.commit();
}

void FileQueueStore::Remove() {
    if (Owner()) QFile::remove(path_);
}

}  // namespace zorvex::app
