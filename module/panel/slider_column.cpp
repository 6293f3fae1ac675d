#include "slider_column.h"

#include "panel_controls.h"
#include "panel_look.h"

#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

namespace qex::panel {

namespace {

constexpr int kWidth = 54;
constexpr int kSliderHeight = 84;
constexpr int kCaptionHeight = 38; // three lines

} // namespace

SliderColumn::SliderColumn(QWidget* parent, int sliderId, int labelId, const QString& caption, int minimum, int maximum)
    : QWidget(parent)
{
    auto* title = MakeCaption(this, caption);
    title->setWordWrap(true);
    title->setFixedHeight(kCaptionHeight);
    title->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);

    slider_ = new QSlider(Qt::Vertical, this);
    slider_->setObjectName(QString::fromStdString(ControlName(sliderId)));
    slider_->setRange(minimum, maximum);
    slider_->setInvertedAppearance(true);
    slider_->setInvertedControls(true);
    slider_->setPageStep(std::max(1, (maximum - minimum) / 10));
    slider_->setMinimumHeight(kSliderHeight);

    readout_ = MakeReadout(this, labelId);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(3);
    column->addWidget(title);
    column->addWidget(slider_, 1, Qt::AlignHCenter);
    column->addWidget(readout_);
    setFixedWidth(kWidth);
}

void SliderColumn::SetEndMarks(const QString& top, const QString& bottom)
{
    auto* column = static_cast<QVBoxLayout*>(layout());
    column->insertWidget(1, MakeCaption(this, top));
    column->insertWidget(3, MakeCaption(this, bottom));
}

} // namespace qex::panel
