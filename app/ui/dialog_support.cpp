#include "app/ui/dialog_support.h"

#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QWidget>

namespace zorvex::app {

void CenterOnScreen(QWidget* window) {
    const QScreen* screen = window->screen();
    if (screen == nullptr) return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

QString OneLine(const QString& text) {
    QString line = text;
    while (line.endsWith('\n') || line.endsWith('\r')) line.chop(1);
    line.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    line.replace('\n', ' ');
    line.remove('\r');
    return line;
}

namespace {

QPixmap Canvas(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

}  // namespace

QPixmap LockPicture(int size) {
    QPixmap pixmap = Canvas(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    // Shackle, then the body with a keyhole.
    p.setPen(QPen(QColor(90, 98, 112), s * 0.09, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(s * 0.27, s * 0.08, s * 0.46, s * 0.52), 0, 180 * 16);
    p.drawLine(QPointF(s * 0.27, s * 0.34), QPointF(s * 0.27, s * 0.46));
    p.drawLine(QPointF(s * 0.73, s * 0.34), QPointF(s * 0.73, s * 0.46));
    QLinearGradient body(0, s * 0.44, 0, s * 0.94);
    body.setColorAt(0, QColor(246, 196, 76));
    body.setColorAt(1, QColor(214, 150, 30));
    p.setPen(QPen(QColor(160, 110, 20), s * 0.02));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(s * 0.16, s * 0.44, s * 0.68, s * 0.5), s * 0.07, s * 0.07);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(70, 50, 20));
    p.drawEllipse(QPointF(s * 0.5, s * 0.63), s * 0.06, s * 0.06);
    p.drawRect(QRectF(s * 0.475, s * 0.65, s * 0.05, s * 0.15));
    return pixmap;
}

QPixmap UpdatePicture(int size) {
    QPixmap pixmap = Canvas(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    // A globe with a download arrow in front of it.
    QRadialGradient sea(QPointF(s * 0.4, s * 0.35), s * 0.55);
    sea.setColorAt(0, QColor(120, 190, 250));
    sea.setColorAt(1, QColor(30, 100, 190));
    p.setPen(QPen(QColor(20, 70, 140), s * 0.02));
    p.setBrush(sea);
    const QRectF globe(s * 0.06, s * 0.06, s * 0.76, s * 0.76);
    p.drawEllipse(globe);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(220, 240, 255, 170), s * 0.015));
    p.drawEllipse(globe.adjusted(s * 0.2, 0, -s * 0.2, 0));
    p.drawLine(QPointF(globe.center().x(), globe.top()),
               QPointF(globe.center().x(), globe.bottom()));
    p.drawLine(QPointF(globe.left(), globe.center().y()),
               QPointF(globe.right(), globe.center().y()));
    QPainterPath arrow;
    const qreal cx = s * 0.7, top = s * 0.42, bottom = s * 0.96;
    arrow.moveTo(cx - s * 0.08, top);
    arrow.lineTo(cx + s * 0.08, top);
    arrow.lineTo(cx + s * 0.08, bottom - s * 0.2);
    arrow.lineTo(cx + s * 0.2, bottom - s * 0.2);
    arrow.lineTo(cx, bottom);
    arrow.lineTo(cx - s * 0.2, bottom - s * 0.2);
    arrow.lineTo(cx - s * 0.08, bottom - s * 0.2);
    arrow.closeSubpath();
    p.setPen(QPen(QColor(20, 100, 40), s * 0.02));
    p.setBrush(QColor(60, 180, 80));
    p.drawPath(arrow);
    return pixmap;
}

}  // namespace zorvex::app
