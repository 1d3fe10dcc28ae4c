#include "app/ui/toolbar_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace zorvex::app {

namespace {

QColor BadgeColour(ToolbarGlyph glyph) {
    switch (glyph) {
        case ToolbarGlyph::Add:
            return QColor("#2f80ed");
        case ToolbarGlyph::Remove:
            return QColor("#d9822b");
        case ToolbarGlyph::Clear:
            return QColor("#8e5bd6");
        case ToolbarGlyph::Start:
            return QColor("#27ae60");
        case ToolbarGlyph::Pause:
            return QColor("#e0a800");
        case ToolbarGlyph::Stop:
            return QColor("#e04545");
        case ToolbarGlyph::Skin:
            return QColor("#16a2b8");
        case ToolbarGlyph::Help:
            return QColor("#3d6fd8");
    }
    return Qt::gray;
}

void DrawGlyph(QPainter& p, ToolbarGlyph glyph, double s) {
    QPen pen(Qt::white, s * 0.11, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const double c = s / 2;
    switch (glyph) {
        case ToolbarGlyph::Add:
            p.drawLine(QPointF(c, s * 0.27), QPointF(c, s * 0.73));
            p.drawLine(QPointF(s * 0.27, c), QPointF(s * 0.73, c));
            break;
        case ToolbarGlyph::Remove:
            p.drawLine(QPointF(s * 0.27, c), QPointF(s * 0.73, c));
            break;
        case ToolbarGlyph::Clear:
            p.drawLine(QPointF(s * 0.32, s * 0.32), QPointF(s * 0.68, s * 0.68));
            p.drawLine(QPointF(s * 0.68, s * 0.32), QPointF(s * 0.32, s * 0.68));
            break;
        case ToolbarGlyph::Start: {
            QPainterPath play;
            play.moveTo(s * 0.38, s * 0.27);
            play.lineTo(s * 0.74, c);
            play.lineTo(s * 0.38, s * 0.73);
            play.closeSubpath();
            p.setPen(Qt::NoPen);
            p.setBrush(Qt::white);
            p.drawPath(play);
            break;
        }
        case ToolbarGlyph::Pause:
            p.setPen(Qt::NoPen);
            p.setBrush(Qt::white);
            p.drawRoundedRect(QRectF(s * 0.30, s * 0.27, s * 0.14, s * 0.46), s * 0.03, s * 0.03);
            p.drawRoundedRect(QRectF(s * 0.56, s * 0.27, s * 0.14, s * 0.46), s * 0.03, s * 0.03);
            break;
        case ToolbarGlyph::Stop:
            p.setPen(Qt::NoPen);
            p.setBrush(Qt::white);
            p.drawRoundedRect(QRectF(s * 0.3, s * 0.3, s * 0.4, s * 0.4), s * 0.05, s * 0.05);
            break;
        case ToolbarGlyph::Skin: {
            // A palette: a ring with three dots.
            p.drawEllipse(QPointF(c, c), s * 0.24, s * 0.24);
            p.setPen(Qt::NoPen);
            p.setBrush(Qt::white);
            for (const QPointF& dot :
                 {QPointF(c - s * 0.1, c - s * 0.07), QPointF(c + s * 0.08, c - s * 0.1),
                  QPointF(c + s * 0.1, c + s * 0.08)}) {
                p.drawEllipse(dot, s * 0.045, s * 0.045);
            }
            break;
        }
        case ToolbarGlyph::Help: {
            QFont font = p.font();
            font.setPixelSize(static_cast<int>(s * 0.62));
            font.setBold(true);
            p.setFont(font);
            p.drawText(QRectF(0, 0, s, s), Qt::AlignCenter, QStringLiteral("?"));
            break;
        }
    }
}

}  // namespace

QIcon ToolbarIcon(ToolbarGlyph glyph) {
    QIcon icon;
    for (const int size : {24, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        const QColor colour = BadgeColour(glyph);
        QLinearGradient fill(0, 0, 0, size);
        fill.setColorAt(0, colour.lighter(125));
        fill.setColorAt(1, colour.darker(110));
        p.setPen(QPen(colour.darker(140), size / 24.0));
        p.setBrush(fill);
        p.drawRoundedRect(QRectF(1, 1, size - 2, size - 2), size * 0.25, size * 0.25);
        DrawGlyph(p, glyph, size);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace zorvex::app
