#include "panel_state.h"

namespace qex {

namespace {

// The counter counts down from kRepeatIdle; from here on a held button steps.
constexpr int kRepeatDelayEnd = 15;

} // namespace

int PanelState::RepeatStep(bool held)
{
    if (!held) {
        RepeatCounter = kRepeatIdle;
        return 0;
    }
    if (RepeatCounter >= kRepeatDelayEnd) {
        --RepeatCounter;
        return 0;
    }
    const int step = 8 - RepeatCounter / 2;
    if (RepeatCounter > 0)
        --RepeatCounter;
    return step;
}

bool PanelState::EditedMarkShown(bool edited)
{
    if (!edited)
        return false;
    if (BlinkCounter == 0)
        BlinkPhase = !BlinkPhase;
    BlinkCounter = (BlinkCounter + 1) % 4;
    return BlinkPhase;
}

} // namespace qex
