#include "app/ui/format_icons.h"

#include <QFont>
#include <QHash>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace zorvex::app {
namespace {

// Glyphs are drawn in a 100 x 100 box; the caller scales it into the badge.
void DrawGlyph(QPainter& p, FormatGlyph glyph) {
    QPen pen(Qt::white, 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    switch (glyph) {
        case FormatGlyph::Disc:
            p.drawEllipse(QPointF(50, 50), 40, 40);
            p.setBrush(Qt::white);
            p.drawEllipse(QPointF(50, 50), 10, 10);
            p.setBrush(Qt::NoBrush);
            p.drawArc(QRectF(22, 22, 56, 56), 30 * 16, 60 * 16);
            break;
        case FormatGlyph::Film: {
            p.drawRoundedRect(QRectF(8, 20, 84, 60), 6, 6);
            p.setPen(Qt::NoPen);
            p.setBrush(Qt::white);
            for (int i = 0; i < 6; ++i) {
                p.drawRect(QRectF(14 + i * 13.5, 26, 7, 8));
                p.drawRect(QRectF(14 + i * 13.5, 66, 7, 8));
            }
            // A play mark on the frame.
            QPainterPath play;
            play.moveTo(42, 39);
            play.lineTo(62, 50);
            play.lineTo(42, 61);
            play.closeSubpath();
            p.drawPath(play);
            break;
        }
        case FormatGlyph::Phone:
            p.drawRoundedRect(QRectF(28, 6, 44, 88), 9, 9);
            p.drawLine(QPointF(36, 18), QPointF(64, 18));
            p.drawLine(QPointF(36, 76), QPointF(64, 76));
            p.setBrush(Qt::white);
            p.drawEllipse(QPointF(50, 85), 3, 3);
            break;
        case FormatGlyph::Tablet:
            p.drawRoundedRect(QRectF(12, 14, 76, 72), 9, 9);
            p.drawRect(QRectF(22, 24, 56, 52));
            p.setBrush(Qt::white);
            p.drawEllipse(QPointF(83, 50), 2.5, 2.5);
            break;
        case FormatGlyph::Television:
            p.drawRoundedRect(QRectF(8, 12, 84, 58), 6, 6);
            p.drawLine(QPointF(50, 70), QPointF(50, 82));
            p.drawLine(QPointF(30, 86), QPointF(70, 86));
            break;
        case FormatGlyph::Handheld:
            p.drawRoundedRect(QRectF(4, 26, 92, 48), 20, 20);
            p.drawRect(QRectF(30, 34, 40, 32));
            p.drawLine(QPointF(12, 50), QPointF(22, 50));
            p.drawLine(QPointF(17, 45), QPointF(17, 55));
            p.setBrush(Qt::white);
            p.drawEllipse(QPointF(83, 45), 3, 3);
            p.drawEllipse(QPointF(83, 55), 3, 3);
            break;
        case FormatGlyph::SetTopBox:
            p.drawRoundedRect(QRectF(6, 44, 88, 30), 5, 5);
            p.drawLine(QPointF(50, 44), QPointF(34, 14));
            p.drawLine(QPointF(50, 44), QPointF(66, 14));
            p.setBrush(Qt::white);
            p.drawEllipse(QPointF(20, 59), 4, 4);
            p.drawLine(QPointF(56, 59), QPointF(82, 59));
            break;
        case FormatGlyph::Web:
            p.drawEllipse(QPointF(50, 50), 40, 40);
            p.drawEllipse(QRectF(32, 10, 36, 80));
            p.drawLine(QPointF(10, 50), QPointF(90, 50));
            p.drawLine(QPointF(18, 30), QPointF(82, 30));
            p.drawLine(QPointF(18, 70), QPointF(82, 70));
            break;
        case FormatGlyph::Music: {
            p.setBrush(Qt::white);
            p.drawEllipse(QPointF(30, 76), 13, 10);
            p.drawEllipse(QPointF(74, 66), 13, 10);
            p.drawLine(QPointF(42, 74), QPointF(42, 18));
            p.drawLine(QPointF(86, 64), QPointF(86, 8));
            QPainterPath beam;
            beam.moveTo(42, 18);
            beam.lineTo(86, 8);
            beam.lineTo(86, 22);
            beam.lineTo(42, 32);
            beam.closeSubpath();
            p.drawPath(beam);
            break;
        }
    }
}

// The largest pixel size, up to maxPixels, at which text fits the width.
QFont FittingFont(const QString& text, int maxPixels, int width, bool bold) {
    QFont font;
    font.setBold(bold);
    for (int pixels = maxPixels; pixels > 6; --pixels) {
        font.setPixelSize(pixels);
        if (QFontMetrics(font).horizontalAdvance(text) <= width) break;
    }
    return font;
}

}  // namespace

QPixmap DrawFormatIcon(const FormatIcon& icon, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    const QColor colour = QColor::fromRgb(icon.colour);
    const qreal s = size;
    const QRectF badge(1, 1, s - 2, s - 2);
    QLinearGradient gradient(badge.topLeft(), badge.bottomLeft());
    gradient.setColorAt(0, colour.lighter(135));
    gradient.setColorAt(1, colour.darker(115));
    p.setPen(QPen(colour.darker(150), 1));
    p.setBrush(gradient);
    p.drawRoundedRect(badge, s * 0.16, s * 0.16);

    const bool twoLines = !icon.subLabel.empty();
    // Glyph in the upper part.
    const qreal glyphSize = twoLines ? s * 0.40 : s * 0.48;
    p.save();
    p.translate((s - glyphSize) / 2, s * 0.07);
    p.scale(glyphSize / 100.0, glyphSize / 100.0);
    DrawGlyph(p, icon.glyph);
    p.restore();

    const QString label = QString::fromUtf8(icon.label.data(), icon.label.size());
    const int textWidth = static_cast<int>(s * 0.88);
    p.setPen(Qt::white);
    if (twoLines) {
        p.setFont(FittingFont(label, static_cast<int>(s * 0.22), textWidth, true));
        p.drawText(QRectF(0, s * 0.48, s, s * 0.26), Qt::AlignCenter, label);
        // The second line on a darker strip along the bottom edge.
        QPainterPath strip;
        strip.addRoundedRect(badge, s * 0.16, s * 0.16);
        QPainterPath lower;
        lower.addRect(QRectF(0, s * 0.75, s, s * 0.25));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 70));
        p.drawPath(strip.intersected(lower));
        const QString sub = QString::fromUtf8(icon.subLabel.data(), icon.subLabel.size());
        p.setPen(Qt::white);
        p.setFont(FittingFont(sub, static_cast<int>(s * 0.17), textWidth, true));
        p.drawText(QRectF(0, s * 0.75, s, s * 0.24), Qt::AlignCenter, sub);
    } else {
        p.setFont(FittingFont(label, static_cast<int>(s * 0.26), textWidth, true));
        p.drawText(QRectF(0, s * 0.58, s, s * 0.36), Qt::AlignCenter, label);
    }
    return pixmap;
}

QIcon FormatIconFor(const FormatEntry& format) {
    static QHash<int, QIcon> cache;
    auto it = cache.find(format.id);
    if (it == cache.end()) it = cache.insert(format.id, QIcon(DrawFormatIcon(format.icon)));
    return *it;
}

}  // namespace zorvex::app
