#pragma once
// Shows a loudness meter's readings beside the level meters: short-term loudness ("S") and
// integrated loudness since Start ("I"), in LUFS, a dash while there is no figure. The meter
// measures on the tick service's thread; this widget only picks up each new reading on a timer
// of the same period and redraws when the shown text changes.

#include "loudness_meter.h"

#include <QLabel>
#include <QTimer>

class TMMLoudnessView : public QLabel {
    Q_OBJECT
public:
    explicit TMMLoudnessView(TMMLoudnessMeter& meter, QWidget* parent = nullptr);

    // Shows the meter's newest reading, if it changed since the last call.
    void PickUpReading();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    TMMLoudnessMeter& meter_;
    std::uint64_t shownNumber_ = ~std::uint64_t{0};
    QTimer refresh_;
};

// The readout's text for a reading.
QString loudnessReadout(const TMMLoudnessReading& reading);
