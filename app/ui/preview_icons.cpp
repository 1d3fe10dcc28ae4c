#include "app/ui/preview_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <cmath>

namespace zorvex::app {
namespace {

constexpr int kSize = 24;

void DrawGlyph(QPainter& p, PreviewGlyph glyph, const QColor& ink) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    switch (glyph) {
        case PreviewGlyph::Play: {
            QPainterPath path;
            path.moveTo(8, 5);
            path.lineTo(19, 12);
            path.lineTo(8, 19);
            path.closeSubpath();
            p.drawPath(path);
            break;
        }
        case PreviewGlyph::Pause:
            p.drawRoundedRect(QRectF(6.5, 5, 4, 14), 1, 1);
            p.drawRoundedRect(QRectF(13.5, 5, 4, 14), 1, 1);
            break;
        case PreviewGlyph::Stop:
            p.drawRoundedRect(QRectF(6, 6, 12, 12), 1.5, 1.5);
            break;
        case PreviewGlyph::Sound:
        case PreviewGlyph::Muted: {
            QPainterPath speaker;
            speaker.moveTo(3, 9);
            speaker.lineTo(7, 9);
            speaker.lineTo(12, 4.5);
            speaker.lineTo(12, 19.5);
            speaker.lineTo(7, 15);
            speaker.lineTo(3, 15);
            speaker.closeSubpath();
            p.drawPath(speaker);
            p.setBrush(Qt::NoBrush);
            if (glyph == PreviewGlyph::Sound) {
                p.setPen(QPen(ink, 1.8, Qt::SolidLine, Qt::RoundCap));
                p.drawArc(QRectF(10, 8, 6, 8), -50 * 16, 100 * 16);
                p.drawArc(QRectF(9, 5, 11, 14), -50 * 16, 100 * 16);
            } else {
                p.setPen(QPen(QColor(0xd0, 0x30, 0x30), 2.2, Qt::SolidLine, Qt::RoundCap));
                p.drawLine(QPointF(15, 9), QPointF(21, 15));
                p.drawLine(QPointF(21, 9), QPointF(15, 15));
            }
            break;
        }
        case PreviewGlyph::Snapshot: {
            p.drawRoundedRect(QRectF(2.5, 7, 19, 13), 2.5, 2.5);
            p.drawRect(QRectF(8, 4.5, 8, 3));
            // The lens is a hole showing whatever lies beneath.
            p.setCompositionMode(QPainter::CompositionMode_Clear);
            p.drawEllipse(QPointF(12, 13.5), 4.2, 4.2);
            p.setCompositionMode(QPainter::CompositionMode_SourceOver);
            p.drawEllipse(QPointF(12, 13.5), 2.4, 2.4);
            break;
        }
        case PreviewGlyph::SnapshotSettings: {
            // A gear: a ring with eight teeth.
            QPainterPath gear;
            for (int i = 0; i < 8; ++i) {
                const double a = i * M_PI / 4;
                QTransform t;
                t.translate(12, 12);
                t.rotateRadians(a);
                QPainterPath tooth;
                tooth.addRoundedRect(QRectF(-2, -10, 4, 5), 1, 1);
                gear.addPath(t.map(tooth));
            }
            gear.addEllipse(QPointF(12, 12), 7, 7);
            gear.setFillRule(Qt::WindingFill);
            p.drawPath(gear.simplified());
            p.setCompositionMode(QPainter::CompositionMode_Clear);
            p.drawEllipse(QPointF(12, 12), 2.8, 2.8);
            p.setCompositionMode(QPainter::CompositionMode_SourceOver);
            break;
        }
    }
}

QPixmap Render(PreviewGlyph glyph, bool highlighted, const QColor& ink) {
    QPixmap pixmap(kSize, kSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    if (highlighted) {
        // Drawn apart and laid on its plate, so the glyph's holes show the plate.
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xcf, 0xe3, 0xfc));
        p.drawRoundedRect(QRectF(0.5, 0.5, kSize - 1, kSize - 1), 5, 5);
        p.drawPixmap(0, 0, Render(glyph, false, QColor(0x16, 0x5e, 0xc4)));
        return pixmap;
    }
    DrawGlyph(p, glyph, ink);
    return pixmap;
}

}  // namespace

QIcon PreviewIcon(PreviewGlyph glyph, const QColor& ink) {
    QIcon icon;
    icon.addPixmap(Render(glyph, false, ink), QIcon::Normal);
    icon.addPixmap(Render(glyph, true, ink), QIcon::Active);
    return icon;
}

}  // namespace zorvex::app
