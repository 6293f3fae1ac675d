#pragma once
// The panel's view of the processing: once per timer tick it reads the meter values the audio
// thread raises, turns them into bar positions and decays the peaks. The audio thread is never
// waited for; a decay that races with a new peak only costs a display a tenth of a second.

#include "dsp/signal_path.h"
#include "panel_state.h"
#include "parameter_set.h"

#include <array>

namespace qex {

struct PanelMeterReadings {
    bool Gated = false;
    int AgcBassDb = 0; // may be negative: a gain below 1
    int AgcMasterDb = 0;
    // Two bars per multiband band, in thousandths of the gain they show.
    std::array<int, kMultibandCount> BandLower{};
    std::array<int, kMultibandCount> BandUpper{};
    int HF = 0;
    int LF = 0;
    int Image = 0;
    int Clip = 0;
    int In = 0;
    int Out = 0;
};

// One tick's readings. With BypassAll the band, image and clip meters read 0 and those peaks
// are left to grow until processing resumes; the level meters and AGC meters always move.
PanelMeterReadings ReadPanelMeters(dsp::SignalPath& path, const GlobalParams& params, PanelState& panel);

// What the caption should become after the processing accepted or refused the last buffer's
// format; the panel's half of the FormatError word records what the caption shows.
enum class CaptionChange { None, ShowWarning, ShowTitle };
CaptionChange TakeCaptionChange(dsp::MeterValues& meters);

} // namespace qex
