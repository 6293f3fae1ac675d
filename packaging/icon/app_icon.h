#pragma once
// The program's icon, drawn from the logo's artwork: the logo's dark tile with the information
// window's spectrum bars in the accent colour and the wordmark's "QEX". One description gives
// both the scalable picture and the bitmaps at each size.

#include <QBrush>
#include <QImage>
#include <QPainterPath>
#include <QString>

#include <vector>

namespace appicon {

// The icon's own coordinates: a square of this many units.
inline constexpr int kUnits = 256;

// One filled shape; layers are painted in order.
struct IconLayer {
    QPainterPath path;
    QBrush fill;
};

// Needs a QGuiApplication (the wordmark is set in the program's font).
std::vector<IconLayer> layers();

// The icon as a side × side bitmap with a transparent background.
QImage bitmap(const std::vector<IconLayer>& layers, int side);

// The icon as an SVG document; the wordmark is an outline, so no font is needed to show it.
QString svg(const std::vector<IconLayer>& layers);

} // namespace appicon
