#include "scroll_text.h"

#include <QPainter>

TScrollText::TScrollText(QStringList lines, QWidget* parent) : QWidget(parent), lines_(std::move(lines))
{
    setAttribute(Qt::WA_TranslucentBackground);
    connect(&timer_, &QTimer::timeout, this, [this] { step(); });
}

void TScrollText::start()
{
    offset_ = 0;
    timer_.start(40);
}

int TScrollText::textHeight() const
{
    return fontMetrics().lineSpacing() * static_cast<int>(lines_.size());
}

void TScrollText::step()
{
    // The text enters at the bottom edge and leaves at the top before it starts again.
    offset_ = (offset_ + 1) % (height() + textHeight());
    update();
}

void TScrollText::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const int lineHeight = fontMetrics().lineSpacing();
    int y = height() - offset_;
    for (const QString& line : lines_) {
        p.drawText(QRect(0, y, width(), lineHeight), Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, line);
        y += lineHeight;
    }
}
