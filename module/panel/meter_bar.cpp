#include "meter_bar.h"

#include <QPainter>

#include <algorithm>

namespace qex::panel {

namespace {

const QColor kTrack(11, 12, 15);
const QColor kEdge(44, 49, 59);
const QColor kGreen(47, 211, 90);
const QColor kAmber(232, 176, 74);
const QColor kRed(240, 72, 62);
const QColor kCyan(79, 180, 234);
const QColor kViolet(181, 140, 242);
constexpr int kSegment = 4; // a lit segment and its gap, in pixels

// The fill of a level meter: green to half scale (-6 dB), amber to -1 dB, red above.
QGradient LevelColours(const QRectF& area, Qt::Orientation orientation)
{
    QLinearGradient shade = orientation == Qt::Vertical ? QLinearGradient(area.bottomLeft(), area.topLeft())
                                                        : QLinearGradient(area.topLeft(), area.topRight());
    shade.setColorAt(0.0, kGreen);
    shade.setColorAt(0.49, kGreen);
    shade.setColorAt(0.51, kAmber);
    shade.setColorAt(0.88, kAmber);
    shade.setColorAt(0.90, kRed);
    shade.setColorAt(1.0, kRed);
    return shade;
}

QColor SolidColour(MeterBar::Kind kind)
{
    switch (kind) {
    case MeterBar::Kind::Gain: return kCyan;
    case MeterBar::Kind::Band: return kAmber;
    case MeterBar::Kind::Clip: return kRed;
    case MeterBar::Kind::Image: return kViolet;
    case MeterBar::Kind::Level: break;
    }
    return kGreen;
}

} // namespace

MeterBar::MeterBar(QWidget* parent, const QString& objectName, Qt::Orientation orientation, int maximum, Kind kind)
    : QProgressBar(parent), kind_(kind)
{
    setObjectName(objectName);
    setOrientation(orientation);
    setRange(0, maximum);
    setValue(0);
    setTextVisible(false);
    if (orientation == Qt::Vertical)
        setFixedWidth(22);
    else
        setFixedHeight(9);
}

void MeterBar::Show(int value)
{
    setValue(std::clamp(value, minimum(), maximum()));
}

void MeterBar::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRectF area = QRectF(rect()).adjusted(1, 1, -1, -1);
    p.fillRect(rect(), kEdge);
    p.fillRect(area, kTrack);
    const double share = maximum() > minimum() ? double(value() - minimum()) / (maximum() - minimum()) : 0.0;
    if (share <= 0.0)
        return;

    const bool vertical = orientation() == Qt::Vertical;
    QRectF lit = area;
    if (vertical)
        lit.setTop(area.bottom() - area.height() * share);
    else
        lit.setWidth(area.width() * share);
    if (kind_ == Kind::Level)
        p.fillRect(lit, LevelColours(area, orientation()));
    else
        p.fillRect(lit, SolidColour(kind_));

    // Dark gaps between segments, so the bar reads like a row of lamps.
    p.setPen(kTrack);
    if (vertical) {
        for (double y = area.bottom() - kSegment; y > lit.top(); y -= kSegment)
            p.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
    } else {
        for (double x = area.left() + kSegment; x < lit.right(); x += kSegment)
            p.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
    }
}

ScaleMarks::ScaleMarks(QWidget* parent, std::initializer_list<Mark> marks) : QWidget(parent), marks_(marks)
{
    setFixedWidth(34);
}

void ScaleMarks::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    QFont font = p.font();
    font.setPixelSize(9);
    p.setFont(font);
    p.setPen(QColor(154, 163, 178));
    const int textHeight = p.fontMetrics().height();
    for (const Mark& mark : marks_) {
        const int y = static_cast<int>((1.0 - mark.share) * (height() - 1));
        p.drawLine(width() - 4, y, width() - 1, y);
        const int top = std::clamp(y - textHeight / 2, 0, height() - textHeight);
        p.drawText(QRect(0, top, width() - 5, textHeight), Qt::AlignRight | Qt::AlignVCenter,
                   QString::fromLatin1(mark.text));
    }
}

} // namespace qex::panel
