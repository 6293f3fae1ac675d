#include "level_scale.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kFullScale = 32767.0;
// Space kept between neighbouring labels.
constexpr int kLabelGap = 2;

} // namespace

TMMLevelScale::TMMLevelScale(QWidget* parent) : QWidget(parent)
{
    // The small bitmap font of the original look; any small sans font stands in for it.
    QFont small(QStringLiteral("Small Fonts"));
    small.setStyleHint(QFont::SansSerif);
    small.setPixelSize(8);
    setFont(small);
}

void TMMLevelScale::SetSensitivy(int value)
{
    sensitivy_ = std::clamp(value, -90, -9);
    update();
}

void TMMLevelScale::SetLogAmp(bool value)
{
    logAmp_ = value;
    update();
}

void TMMLevelScale::SetScaleTicks(int value)
{
    scaleTicks_ = std::max(value, 2);
    update();
}

void TMMLevelScale::SetPoint1(int value)
{
    point1_ = std::clamp(value, 1, 100);
    update();
}

void TMMLevelScale::SetPoint2(int value)
{
    point2_ = std::clamp(value, 1, 100);
    update();
}

void TMMLevelScale::SetScale1Color(const QColor& value)
{
    colors_[0] = value;
    update();
}

void TMMLevelScale::SetScale2Color(const QColor& value)
{
    colors_[1] = value;
    update();
}

void TMMLevelScale::SetScale3Color(const QColor& value)
{
    colors_[2] = value;
    update();
}

void TMMLevelScale::SetKind(TMMLevelKind value)
{
    kind_ = value;
    updateGeometry();
    update();
}

void TMMLevelScale::SetDirection(TMMDirection value)
{
    direction_ = value;
    update();
}

void TMMLevelScale::SetScale(const TMMScaleMarks& value)
{
    marks_ = value;
    marks_.TickCount = std::max(marks_.TickCount, 0);
    marks_.Size = std::max(marks_.Size, 0);
    updateGeometry();
    update();
}

void TMMLevelScale::SetScalePos(TMMScalePos value)
{
    scalePos_ = value;
    update();
}

QSize TMMLevelScale::sizeHint() const
{
    const int across = 2 * marks_.Size + fontMetrics().height();
    return kind_ == TMMLevelKind::lkHorizontal ? QSize(147, across) : QSize(across, 147);
}

int TMMLevelScale::BarLength() const
{
    return kind_ == TMMLevelKind::lkHorizontal ? width() : height();
}

int TMMLevelScale::Thickness() const
{
    return kind_ == TMMLevelKind::lkHorizontal ? height() : width();
}

double TMMLevelScale::FractionAt(int along) const
{
    const int last = std::max(BarLength() - 1, 1);
    switch (direction_) {
    case TMMDirection::dirNormal: return static_cast<double>(along) / last;
    case TMMDirection::dirReversed: return 1.0 - static_cast<double>(along) / last;
    case TMMDirection::dirSymetric: return std::abs(2.0 * along - last) / last;
    }
    return 0.0;
}

QVector<int> TMMLevelScale::PositionsOf(double fraction) const
{
    const double last = std::max(BarLength() - 1, 1);
    switch (direction_) {
    case TMMDirection::dirNormal: return {static_cast<int>(std::lround(fraction * last))};
    case TMMDirection::dirReversed: return {static_cast<int>(std::lround((1.0 - fraction) * last))};
    case TMMDirection::dirSymetric: {
        const int below = static_cast<int>(std::lround((1.0 - fraction) * last / 2.0));
        const int above = static_cast<int>(std::lround((1.0 + fraction) * last / 2.0));
        return below == above ? QVector<int>{below} : QVector<int>{below, above};
    }
    }
    return {};
}

QColor TMMLevelScale::ZoneColor(double fraction) const
{
    const double percent = fraction * 100.0;
    return percent <= point1_ ? colors_[0] : percent <= point2_ ? colors_[1] : colors_[2];
}

QString TMMLevelScale::LabelText(int index) const
{
    const int last = scaleTicks_ - 1;
    if (logAmp_)
        return QString::number(std::lround(static_cast<double>(index) * sensitivy_ / last));
    // The dB value of the linear level that lies at this label.
    const double threshold = kFullScale / std::pow(10.0, -sensitivy_ / 20.0);
    const double fraction = 1.0 - static_cast<double>(index) / last;
    const double level = threshold + fraction * (kFullScale - threshold);
    return QString::number(std::lround(20.0 * std::log10(level / kFullScale)));
}

QRect TMMLevelScale::MapRect(int along, int alongLength, int across, int acrossLength) const
{
    if (kind_ == TMMLevelKind::lkHorizontal)
        return {along, across, alongLength, acrossLength};
    // Vertical bars start at the bottom.
    return {across, height() - along - alongLength, acrossLength, alongLength};
}

QVector<TMMScaleLabel> TMMLevelScale::Labels() const
{
    const QFontMetrics metrics = fontMetrics();
    const int length = BarLength();
    const int thickness = Thickness();
    const int last = scaleTicks_ - 1;

    struct Placed {
        int index;
        int start; // along the bar
        int extent;
        TMMScaleLabel label;
    };
    QVector<Placed> all;
    for (int i = 0; i <= last; ++i) {
        const double fraction = 1.0 - static_cast<double>(i) / last;
        const QString text = LabelText(i);
        const int textWidth = metrics.horizontalAdvance(text);
        const int textHeight = metrics.height();
        const int extent = kind_ == TMMLevelKind::lkHorizontal ? textWidth : textHeight;
        const int across = kind_ == TMMLevelKind::lkHorizontal ? textHeight : textWidth;
        for (int position : PositionsOf(fraction)) {
            const int start = std::clamp(position - extent / 2, 0, std::max(length - extent, 0));
            all.push_back({i,
                           start,
                           extent,
                           {text, MapRect(start, extent, (thickness - across) / 2, across), ZoneColor(fraction)}});
        }
    }

    // The smallest fixed step whose labels stand apart along the bar.
    for (int step = 1;; ++step) {
        QVector<Placed> chosen;
        for (const Placed& p : all)
            if (p.index % step == 0)
                chosen.push_back(p);
        std::sort(chosen.begin(), chosen.end(), [](const Placed& a, const Placed& b) { return a.start < b.start; });
        bool fits = true;
        for (int k = 1; k < chosen.size() && fits; ++k)
            fits = chosen[k].start >= chosen[k - 1].start + chosen[k - 1].extent + kLabelGap;
        if (fits || step > last) {
            QVector<TMMScaleLabel> labels;
            for (const Placed& p : chosen)
                labels.push_back(p.label);
            return labels;
        }
    }
}

void TMMLevelScale::PaintMarks(QPainter& painter, bool farSide) const
{
    const int length = BarLength();
    const int size = marks_.Size;
    const int small = (size + 1) / 2;
    // Across position measured from the side the marks stand on.
    auto across = [&](int from, int extent) { return farSide ? Thickness() - from - extent : from; };

    for (int j = 0; j < marks_.TickCount; ++j) {
        const int along = marks_.TickCount > 1
            ? static_cast<int>(std::lround(static_cast<double>(j) * (length - 1) / (marks_.TickCount - 1)))
            : 0;
        const bool enlarged = marks_.EnlargeEvery > 0 && j % marks_.EnlargeEvery == 0;
        const int tick = enlarged ? size : small;
        const int from = marks_.Origin == TMMScaleOrigin::soOuter ? 0 : size - tick;
        painter.fillRect(MapRect(along, 1, across(from, tick), tick), ZoneColor(FractionAt(along)));
    }
    if (marks_.Connect && size > 0) {
        const int line = marks_.Origin == TMMScaleOrigin::soOuter ? 0 : size - 1;
        for (int along = 0; along < length; ++along)
            painter.fillRect(MapRect(along, 1, across(line, 1), 1), ZoneColor(FractionAt(along)));
    }
}

void TMMLevelScale::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    if (marks_.Visible) {
        if (scalePos_ != TMMScalePos::spRightBottom)
            PaintMarks(painter, false);
        if (scalePos_ != TMMScalePos::spLeftTop)
            PaintMarks(painter, true);
    }
    for (const TMMScaleLabel& label : Labels()) {
        painter.setPen(label.color);
        painter.drawText(label.rect, Qt::AlignCenter, label.text);
    }
}
