// The pictures of the preview panel's buttons, drawn by the program: each in a
// normal and a highlighted form (shown while the pointer is over the button).
// The normal form is drawn in the given ink, the text colour of the skin, so
// it stays readable on light and dark skins alike.
#pragma once

#include <QColor>
#include <QIcon>

namespace zorvex::app {

enum class PreviewGlyph { Play, Pause, Stop, Sound, Muted, Snapshot, SnapshotSettings };

QIcon PreviewIcon(PreviewGlyph glyph, const QColor& ink = QColor(0x3c, 0x3c, 0x3c));

}  // namespace zorvex::app
