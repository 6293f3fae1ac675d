#pragma once
// Shows one level meter. The meter measures and draws on the audio thread; this widget only
// sizes the meter's images, picks up each newly finished frame on a short timer and copies it
// to the screen, on the user-interface thread.

#include "level.h"

#include <QTimer>
#include <QWidget>

class TMMLevelView : public QWidget {
    Q_OBJECT
public:
    explicit TMMLevelView(QWidget* parent = nullptr, TMMTickService& ticks = TMMTickService::Global());

    // The meter shown; it lives as long as the widget.
    TMMLevel& Level() { return level_; }

    // Takes the meter's newest frame, if it drew one, and schedules a repaint.
    void PickUpFrame();

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    TMMLevel level_;
    QTimer refresh_;
};
