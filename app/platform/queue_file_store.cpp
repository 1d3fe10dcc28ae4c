#include "app/platform/queue_file_store.h"

#include <fcntl.h>
#include <sys/file.h>

#include <QDir>
#include <QFile>
#include <QSaveFile>

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
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    std::optional<SavedQueue> queue = SavedQueueFromJson(file.readAll());
    if (!queue || queue->rows.empty()) return std::nullopt;
    return queue;
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
