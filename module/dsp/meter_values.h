#pragma once
// Values the processing leaves for the control panel. The peaks are running maxima that only the
// audio thread raises; the panel reads, clamps and decays them on its timer.

#include "shared_value.h"

#include <cstdint>

namespace qex::dsp {

// FormatError: the audio thread owns the high byte (buffer format refused), the panel the low
// byte (caption shows the warning).
inline constexpr uint16_t kFormatRefused = 0xFF00;
inline constexpr uint16_t kFormatWarningShown = 0x00FF;

struct MeterValues {
    Shared<double> InputPeak;
    Shared<double> OutputPeak;
    Shared<double> ImagePeak;
    Shared<double> PreClipPeak;
    Shared<double> ClipPeak;
    Shared<double> AgcMasterGain;
    Shared<double> AgcBassGain;
    Shared<int32_t> Gated;
    Shared<uint16_t> FormatError;
};

} // namespace qex::dsp
