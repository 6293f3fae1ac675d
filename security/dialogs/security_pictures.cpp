#include "security_pictures.h"

#include <QPainter>
#include <QPainterPath>

namespace {

void drawPerson(QPainter& painter, QRectF box, const QColor& colour)
{
    painter.setBrush(colour);
    const double w = box.width();
    painter.drawEllipse(QRectF(box.left() + w * 0.3, box.top(), w * 0.4, w * 0.4));
    painter.drawChord(QRectF(box.left() + w * 0.1, box.top() + w * 0.45, w * 0.8, w * 0.9), 0, 180 * 16);
}

} // namespace

QPixmap securityPicture(TSecurityPicture picture, int size)
{
    const qreal ratio = 2.0;
    QPixmap pixmap(static_cast<int>(size * ratio), static_cast<int>(size * ratio));
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(60, 60, 70), size / 16.0 + 0.5));
    const double s = size;
    switch (picture) {
    case TSecurityPicture::Padlock:
        painter.setBrush(Qt::NoBrush);
        painter.drawArc(QRectF(s * 0.28, s * 0.08, s * 0.44, s * 0.5), 0, 180 * 16);
        painter.drawLine(QPointF(s * 0.28, s * 0.33), QPointF(s * 0.28, s * 0.45));
        painter.drawLine(QPointF(s * 0.72, s * 0.33), QPointF(s * 0.72, s * 0.45));
        painter.setBrush(QColor(218, 165, 32));
        painter.drawRoundedRect(QRectF(s * 0.18, s * 0.45, s * 0.64, s * 0.48), s * 0.06, s * 0.06);
        painter.setBrush(QColor(60, 60, 70));
        painter.drawEllipse(QPointF(s * 0.5, s * 0.66), s * 0.05, s * 0.05);
        break;
    case TSecurityPicture::User: drawPerson(painter, QRectF(0, 0, s, s), QColor(90, 140, 210)); break;
    case TSecurityPicture::Group:
        drawPerson(painter, QRectF(s * 0.3, 0, s * 0.7, s * 0.7), QColor(120, 170, 120));
        drawPerson(painter, QRectF(0, s * 0.2, s * 0.75, s * 0.75), QColor(90, 150, 90));
        break;
    case TSecurityPicture::Permission: {
        painter.setBrush(QColor(218, 165, 32));
        painter.drawEllipse(QRectF(s * 0.08, s * 0.3, s * 0.4, s * 0.4));
        QPainterPath shaft;
        shaft.moveTo(s * 0.48, s * 0.5);
        shaft.lineTo(s * 0.92, s * 0.5);
        shaft.moveTo(s * 0.8, s * 0.5);
        shaft.lineTo(s * 0.8, s * 0.68);
        painter.drawPath(shaft);
        break;
    }
    }
    return pixmap;
}
