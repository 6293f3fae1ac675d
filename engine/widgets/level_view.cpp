#include "level_view.h"

#include <QImage>
#include <QPainter>

namespace {

// Often enough that a frame drawn for a 23 ms buffer is on screen within one more buffer.
constexpr int kRefreshMs = 15;

} // namespace

TMMLevelView::TMMLevelView(QWidget* parent, TMMTickService& ticks) : QWidget(parent), level_(ticks)
{
    // The frame covers the whole widget; nothing behind it needs painting.
    setAttribute(Qt::WA_OpaquePaintEvent);
    level_.SetVisible(false); // until shown
    refresh_.setInterval(kRefreshMs);
    connect(&refresh_, &QTimer::timeout, this, &TMMLevelView::PickUpFrame);
}

QSize TMMLevelView::sizeHint() const
{
    return {147, 9};
}

void TMMLevelView::PickUpFrame()
{
    if (level_.AcquireFrame())
        update();
}

void TMMLevelView::paintEvent(QPaintEvent*)
{
    const TMMImageView frame = level_.Frame();
    if (!frame.pixels)
        return;
    // Wraps the frame without copying it; the frame stays ours until the next pick-up.
    const QImage image(reinterpret_cast<const uchar*>(frame.pixels), frame.width, frame.height,
                       frame.width * static_cast<int>(sizeof(TMMColor)), QImage::Format_RGB32);
    QPainter painter(this);
    painter.drawImage(0, 0, image);
}

void TMMLevelView::resizeEvent(QResizeEvent*)
{
    level_.SetSize(width(), height());
    PickUpFrame();
}

void TMMLevelView::showEvent(QShowEvent*)
{
    level_.SetVisible(true);
    PickUpFrame();
    refresh_.start();
}

void TMMLevelView::hideEvent(QHideEvent*)
{
    refresh_.stop();
    level_.SetVisible(false);
}
