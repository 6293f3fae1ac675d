#pragma once
// A vertical slider as the panel shows it: caption above, value readout below, the minimum at
// the top (the panel's sliders grow downwards). Keys and the wheel follow the picture.

#include <QWidget>

class QLabel;
class QSlider;

namespace qex::panel {

class SliderColumn : public QWidget {
public:
    SliderColumn(QWidget* parent, int sliderId, int labelId, const QString& caption, int minimum, int maximum);

    QSlider* slider() const { return slider_; }
    QLabel* readout() const { return readout_; }

    // Small marks at the slider's two ends ("B" at the top, "M" at the bottom of the mix).
    void SetEndMarks(const QString& top, const QString& bottom);

private:
    QSlider* slider_;
    QLabel* readout_;
};

} // namespace qex::panel
