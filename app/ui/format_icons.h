// The chooser's format icons, drawn with QPainter: a coloured badge with a
// line-art glyph for the kind of device or medium and a short label.
#pragma once

#include <QIcon>
#include <QPixmap>

#include "app/core/formats/format_catalogue.h"

namespace zorvex::app {

constexpr int kFormatIconSize = 60;

QPixmap DrawFormatIcon(const FormatIcon& icon, int size = kFormatIconSize);
// The icon of a catalogue entry, drawn once and kept.
QIcon FormatIconFor(const FormatEntry& format);

}  // namespace zorvex::app
