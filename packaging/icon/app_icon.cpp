#include "app_icon.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>

#include <cmath>

namespace appicon {

namespace {

// The program's colours (shell/artwork.cpp): the logo's shade and the accent.
const QColor kShadeTop(70, 76, 90);
const QColor kShadeBottom(24, 26, 32);
const QColor kAccent(196, 38, 70);

const QRectF kTile(16, 16, 224, 224);
constexpr double kTileRadius = 36;
const QRectF kBars(40, 128, 176, 88);
const QRectF kWordmark(40, 40, 176, 72);
constexpr int kBarCount = 7;
constexpr double kBarGap = 6;

QBrush verticalShade(double top, double bottom, const QColor& upper, const QColor& lower)
{
    QLinearGradient shade(0, top, 0, bottom);
    shade.setColorAt(0, upper);
    shade.setColorAt(1, lower);
    return shade;
}

// The information window's spectrum landscape, every few bars of it.
QPainterPath bars()
{
    constexpr int landscapeBars = 24;
    const double width = (kBars.width() - (kBarCount - 1) * kBarGap) / kBarCount;
    QPainterPath path;
    for (int i = 0; i < kBarCount; ++i) {
        const int bar = i * landscapeBars / kBarCount;
        const double level = 0.35 + 0.5 * std::abs(std::sin(bar * 0.55)) * (1.0 - bar / (2.0 * landscapeBars));
        const double height = level / 0.85 * kBars.height();
        path.addRoundedRect(QRectF(kBars.left() + i * (width + kBarGap), kBars.bottom() - height, width, height), 3, 3);
    }
    return path;
}

// "QEX" as the wordmark sets it, fitted into its box.
QPainterPath wordmark()
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(100);
    QPainterPath text;
    text.addText(0, 0, font, QStringLiteral("QEX"));
    const QRectF bounds = text.boundingRect();
    if (bounds.isEmpty())
        return text;
    const double scale = std::min(kWordmark.width() / bounds.width(), kWordmark.height() / bounds.height());
    QTransform fit;
    fit.translate(kWordmark.center().x(), kWordmark.center().y());
    fit.scale(scale, scale);
    fit.translate(-bounds.center().x(), -bounds.center().y());
    return fit.map(text);
}

QString number(double value)
{
    return QString::number(value, 'f', 2);
}

QString colour(const QColor& c)
{
    return c.name(QColor::HexRgb);
}

QString pathData(const QPainterPath& path)
{
    QString d;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        switch (e.type) {
        case QPainterPath::MoveToElement:
            d += (i == 0 ? QStringLiteral("M") : QStringLiteral("ZM")) + number(e.x) + ' ' + number(e.y);
            break;
        case QPainterPath::LineToElement: d += 'L' + number(e.x) + ' ' + number(e.y); break;
        case QPainterPath::CurveToElement: d += 'C' + number(e.x) + ' ' + number(e.y); break;
        case QPainterPath::CurveToDataElement: d += ' ' + number(e.x) + ' ' + number(e.y); break;
        }
    }
    return d + 'Z';
}

// The fill as an SVG paint, with the gradient it needs added to defs.
QString paint(const QBrush& fill, int index, QString& defs)
{
    if (fill.style() != Qt::LinearGradientPattern)
        return colour(fill.color());
    const auto* gradient = static_cast<const QLinearGradient*>(fill.gradient());
    const QString id = QStringLiteral("fill%1").arg(index);
    defs +=
        QStringLiteral("    <linearGradient id=\"%1\" gradientUnits=\"userSpaceOnUse\" x1=\"%2\" y1=\"%3\" x2=\"%4\" "
                       "y2=\"%5\">\n")
            .arg(id, number(gradient->start().x()), number(gradient->start().y()), number(gradient->finalStop().x()),
                 number(gradient->finalStop().y()));
    for (const auto& [offset, stop] : gradient->stops())
        defs += QStringLiteral("      <stop offset=\"%1\" stop-color=\"%2\"/>\n").arg(number(offset), colour(stop));
    defs += QStringLiteral("    </linearGradient>\n");
    return QStringLiteral("url(#%1)").arg(id);
}

} // namespace

std::vector<IconLayer> layers()
{
    QPainterPath tile;
    tile.addRoundedRect(kTile, kTileRadius, kTileRadius);
    return {
        {tile, verticalShade(kTile.top(), kTile.bottom(), kShadeTop, kShadeBottom)},
        {bars(), verticalShade(kBars.top(), kBars.bottom(), kAccent.lighter(150), kAccent)},
        {wordmark(), QBrush(Qt::white)},
    };
}

QImage bitmap(const std::vector<IconLayer>& layers, int side)
{
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(static_cast<double>(side) / kUnits, static_cast<double>(side) / kUnits);
    for (const IconLayer& layer : layers)
        p.fillPath(layer.path, layer.fill);
    return image;
}

QString svg(const std::vector<IconLayer>& layers)
{
    QString defs;
    QString shapes;
    for (std::size_t i = 0; i < layers.size(); ++i) {
        const IconLayer& layer = layers[i];
        const QString rule =
            layer.path.fillRule() == Qt::WindingFill ? QStringLiteral("nonzero") : QStringLiteral("evenodd");
        shapes += QStringLiteral("  <path fill=\"%1\" fill-rule=\"%2\" d=\"%3\"/>\n")
                      .arg(paint(layer.fill, static_cast<int>(i), defs), rule, pathData(layer.path));
    }
    return QStringLiteral(
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%1\" viewBox=\"0 0 %1 %1\">\n"
               "  <defs>\n%2  </defs>\n%3</svg>\n")
        .arg(QString::number(kUnits), defs, shapes);
}

} // namespace appicon
