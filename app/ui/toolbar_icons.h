// The toolbar's pictures: a coloured badge with a white sign, drawn at run
// time so they read on light and dark skins alike.
#pragma once

#include <QIcon>

namespace zorvex::app {

enum class ToolbarGlyph { Add, Remove, Clear, Start, Pause, Stop, Skin, Help };

QIcon ToolbarIcon(ToolbarGlyph glyph);

}  // namespace zorvex::app
