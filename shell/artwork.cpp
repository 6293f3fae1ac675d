#include "artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace artwork {

namespace {

constexpr int kGlyphSize = 32;
const QColor kInk(40, 44, 52);
const QColor kAccent(196, 38, 70);

// Paints a glyph at 32 × 32 into a transparent pixmap.
template <class Paint>
QIcon glyph(Paint paint)
{
    QPixmap pixmap(kGlyphSize, kGlyphSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    paint(p);
    return QIcon(pixmap);
}

void drawWordmark(QPainter& p, const QRect& area, const QColor& colour)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    // As large as the area allows, keeping a margin on every side.
    int pixels = qMax(6, area.height() * 11 / 20);
    font.setPixelSize(pixels);
    const int width = QFontMetrics(font).horizontalAdvance(QStringLiteral("LUMAVOX QEX"));
    if (width > area.width() * 85 / 100) {
        pixels = qMax(6, pixels * area.width() * 85 / 100 / width);
        font.setPixelSize(pixels);
    }
    p.setFont(font);
    p.setPen(colour);
    p.drawText(area, Qt::AlignCenter, QStringLiteral("LUMAVOX QEX"));
}

} // namespace

QPixmap logo(const QSize& size)
{
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient shade(0, 0, 0, size.height());
    shade.setColorAt(0, QColor(70, 76, 90));
    shade.setColorAt(1, QColor(24, 26, 32));
    p.setBrush(shade);
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(QPointF(0, 0), size).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
    drawWordmark(p, QRect(QPoint(0, 0), size), Qt::white);
    return pixmap;
}

QIcon playIcon()
{
    return glyph([](QPainter& p) {
        QPainterPath triangle;
        triangle.moveTo(9, 6);
        triangle.lineTo(26, 16);
        triangle.lineTo(9, 26);
        triangle.closeSubpath();
        p.drawPath(triangle);
    });
}

QIcon stopIcon()
{
    return glyph([](QPainter& p) { p.drawRoundedRect(QRectF(8, 8, 16, 16), 2, 2); });
}

QIcon bypassIcon()
{
    return glyph([](QPainter& p) {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(kInk, 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(4, 22, 28, 22);
        p.drawArc(QRectF(8, 6, 16, 24), 0, 180 * 16);
    });
}

QIcon userIcon()
{
    return glyph([](QPainter& p) {
        p.drawEllipse(QRectF(11, 4, 10, 10));
        p.drawPie(QRectF(5, 16, 22, 24), 0, 180 * 16);
    });
}

QIcon infoIcon()
{
    return glyph([](QPainter& p) {
        p.setBrush(kAccent);
        p.drawEllipse(QRectF(3, 3, 26, 26));
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(14, 8, 4, 4));
        p.drawRoundedRect(QRectF(14, 14, 4, 11), 1.5, 1.5);
    });
}

QPixmap aboutBackground(const QSize& size)
{
    QPixmap pixmap(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(pixmap.rect(), Qt::white);
    // A spectrum-like landscape on the left half.
    const int bars = 24;
    const double barWidth = size.width() / 2.0 / bars;
    for (int i = 0; i < bars; ++i) {
        const double level = 0.35 + 0.5 * std::abs(std::sin(i * 0.55)) * (1.0 - i / (2.0 * bars));
        const double h = level * size.height() * 0.8;
        QLinearGradient g(0, size.height(), 0, size.height() - h);
        g.setColorAt(0, QColor(230, 236, 244));
        g.setColorAt(1, kAccent.lighter(150 + i * 2));
        p.fillRect(QRectF(i * barWidth + 1, size.height() - h, barWidth - 2, h), g);
    }
    drawWordmark(p, QRect(0, 6, size.width() / 2, size.height() / 6), kInk);
    return pixmap;
}

QPixmap aboutBadge(const QSize& size)
{
    return logo(size);
}

} // namespace artwork
