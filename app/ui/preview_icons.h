// The pictures of the preview panel's buttons, drawn by the program: each in a
// normal and a highlighted form (shown while the pointer is over the button).
#pragma once

#include <QIcon>

namespace zorvex::app {

enum class PreviewGlyph { Play, Pause, Stop, Sound, Muted, Snapshot, SnapshotSettings };

QIcon PreviewIcon(PreviewGlyph glyph);

}  // namespace zorvex::app
