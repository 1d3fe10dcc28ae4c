#include "app/core/preview/snapshot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>

#include "app/platform/settings_store.h"
#include "media/gif_writer.h"

namespace zorvex::app {
namespace {

const QString kSection = QStringLiteral("SnapShot");
const QString kDirKey = QStringLiteral("Dir");
const QString kPictureKey = QStringLiteral("Picture");

bool IsSet(const QString& value) {
    return !value.isEmpty() && value != kNotSet;
}

}  // namespace

QString SnapshotTypeText(SnapshotType type) {
    switch (type) {
        case SnapshotType::Jpg:
            return QStringLiteral("JPG");
        case SnapshotType::Gif:
            return QStringLiteral("GIF");
        case SnapshotType::Png:
            return QStringLiteral("PNG");
        case SnapshotType::Bmp:
            break;
    }
    return QStringLiteral("BMP");
}

QString SnapshotExtension(SnapshotType type) {
    return SnapshotTypeText(type).toLower();
}

std::optional<SnapshotType> SnapshotTypeFromText(const QString& text) {
    for (SnapshotType type :
         {SnapshotType::Bmp, SnapshotType::Jpg, SnapshotType::Gif, SnapshotType::Png}) {
        if (text == SnapshotTypeText(type)) return type;
    }
    return std::nullopt;
}

QString DefaultSnapshotFolder() {
    return QDir::homePath() + QStringLiteral("/Video_Directory/快照");
}

QString ResolveSnapshotFolder(SettingsStore& settings, const QString& defaultFolder) {
    if (settings.Exists()) {
        const QString dir = settings.ReadString(kSection, kDirKey);
        if (IsSet(dir)) {
            QDir().mkpath(dir);
            return dir;
        }
    }
    QDir().mkpath(defaultFolder);
    settings.WriteString(kSection, kDirKey, defaultFolder);
    return defaultFolder;
}

SnapshotType ResolveSnapshotType(SettingsStore& settings) {
    if (settings.Exists()) {
        if (auto type = SnapshotTypeFromText(settings.ReadString(kSection, kPictureKey)))
            return *type;
    }
    StoreSnapshotType(settings, SnapshotType::Bmp);
    return SnapshotType::Bmp;
}

void StoreSnapshotType(SettingsStore& settings, SnapshotType type) {
    settings.WriteString(kSection, kPictureKey, SnapshotTypeText(type));
}

bool StoreSnapshotFolder(SettingsStore& settings, const QString& folder) {
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) return false;
    return settings.WriteString(kSection, kDirKey, folder);
}

QString NextSnapshotPath(const QString& folder, const QString& previewFile, SnapshotType type) {
    const QString base = QFileInfo(previewFile).completeBaseName();
    const QString ext = SnapshotExtension(type);
    for (int n = 1;; ++n) {
        const QString path = folder + "/" + base + "_" + QString::number(n) + "." + ext;
        if (!QFileInfo::exists(path)) return path;
    }
}

QImage BitmapToImage(const TBitmap& bitmap) {
    if (bitmap.Empty()) return {};
    return QImage(bitmap.Bits.data(), bitmap.Width, bitmap.Height, bitmap.Stride,
                  QImage::Format_BGR888)
        .copy();
}

bool SaveSnapshot(const TBitmap& bitmap, const QString& path, SnapshotType type, QString& error) {
    if (bitmap.Empty()) {
        error = QStringLiteral("empty picture");
        return false;
    }
    const bool existed = QFileInfo::exists(path);
    bool written;
    if (type == SnapshotType::Gif) {
        std::string reason;
        written = WriteGifPicture(bitmap, path.toStdString(), reason);
        error = QString::fromStdString(reason);
    } else {
        QImageWriter writer(path, type == SnapshotType::Jpg   ? QByteArray("jpeg")
                                  : type == SnapshotType::Png ? QByteArray("png")
                                                              : QByteArray("bmp"));
        written = writer.write(BitmapToImage(bitmap));
        error = writer.errorString();
    }
    if (!written && !existed) QFile::remove(path);  // no half-written picture takes the name
    if (written) error.clear();
    return written;
}

}  // namespace zorvex::app
