#pragma once
// The dual-band compressor/limiter: splits at 6 kHz into "HF" and "LF", drives both by the
// density, compresses each with the band gain computer, applies the smoothed gains with a true
// look-ahead through the shared delay line, recombines with the clip drive and hands the result
// to the two-band clipper.

#include "band_gain_computer.h"
#include "filter_sections.h"
#include "frame.h"
#include "lookahead_delay.h"
#include "meter_values.h"
#include "processing_settings.h"
#include "two_band_clipper.h"

#include <span>

namespace qex::dsp {

class DualBandProcessor {
public:
    // denormOffsets: each frame's anti-denormal offset, added again before the detectors;
    // gated: the AGC's gate for each frame; rows: the look-ahead row the multiband left for
    // each frame.
    void Process(Frames frames, std::span<const double> denormOffsets, std::span<const bool> gated,
                 std::span<const int> rows, const GlobalParams& params, const ProcessingSettings& settings,
                 BandGainComputer& gains, LookaheadDelay& delay, MeterValues& meters);

private:
    Biquad high_, low_;
    double smoothedHF_ = 0.0;
    double smoothedLF_ = 0.0;
    TwoBandClipper clipper_;
};

} // namespace qex::dsp
