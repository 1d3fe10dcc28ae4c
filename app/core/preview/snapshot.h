// Snapshots of the preview: where they go (the snapshot folder), which picture
// type they are, what they are called, and how they are written.
#pragma once

#include <QImage>
#include <QString>
#include <optional>

#include "media/bitmap.h"

namespace zorvex::app {

class SettingsStore;

enum class SnapshotType { Bmp, Jpg, Gif, Png };

// "BMP", "JPG", "GIF", "PNG": the [SnapShot] "Picture" values.
QString SnapshotTypeText(SnapshotType type);
// "bmp", "jpg", "gif", "png".
QString SnapshotExtension(SnapshotType type);
std::optional<SnapshotType> SnapshotTypeFromText(const QString& text);

// ~/Video_Directory/快照
QString DefaultSnapshotFolder();

// [SnapShot] "Dir" when it is set (created with its parents when missing);
// otherwise the default folder, created and written as "Dir".
QString ResolveSnapshotFolder(SettingsStore& settings, const QString& defaultFolder);
// [SnapShot] "Picture" when it names a type; otherwise "BMP", written back.
SnapshotType ResolveSnapshotType(SettingsStore& settings);
void StoreSnapshotType(SettingsStore& settings, SnapshotType type);
// Writes [SnapShot] "Dir" when the folder exists; false otherwise.
bool StoreSnapshotFolder(SettingsStore& settings, const QString& folder);

// folder/base_n.ext with the smallest n >= 1 that names no file; base is the
// file name of the previewed file without its extension.
QString NextSnapshotPath(const QString& folder, const QString& previewFile, SnapshotType type);

// A deep copy of the bitmap as a Qt image.
QImage BitmapToImage(const TBitmap& bitmap);
// Writes the picture with the type's encoder at its default settings; false
// with the reason in error.
bool SaveSnapshot(const TBitmap& bitmap, const QString& path, SnapshotType type, QString& error);

}  // namespace zorvex::app
