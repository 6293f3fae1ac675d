#pragma once
// What the control panel shows and counts from one timer tick to the next. It lives in the
// module rather than in the window, so closing and reopening the panel keeps it.

#include "parameter_set.h"

namespace qex {

struct PanelState {
    static constexpr int kRepeatIdle = 20;

    // The dynamics section shown on the multiband band sliders.
    int CurrentSection = Compressor;
    // The band each group of band sliders shows and edits.
    struct {
        int Multiband = 0;
        int DualBand = kBandLF;
    } DisplayedBand;
    // The clipper's recent work, decaying between ticks.
    double ClipActivity = 0.0;
    bool BlinkPhase = false;
    int BlinkCounter = 0;
    int RepeatCounter = kRepeatIdle;

    // One tick of the + and − auto-repeat: the number of presets to step now, 0 for none. A held
    // button waits six ticks, then steps 1, 2, 2, 3, 3, ... up to 8 presets a tick.
    int RepeatStep(bool held);

    // One tick of the edited mark: whether its "E" shows. It blinks four ticks on, four off.
    bool EditedMarkShown(bool edited);
};

} // namespace qex
