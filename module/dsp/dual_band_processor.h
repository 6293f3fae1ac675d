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

namespace qex::dsp {

class DualBandProcessor {
public:
    // denormOffset: this frame's anti-denormal offset, added again before the detectors;
    // gated: the AGC's gate decision; row: the look-ahead row the multiband left for this frame.
    void Process(Frame& frame, double denormOffset, bool gated, int row, const GlobalParams& params,
                 const ProcessingSettings& settings, BandGainComputer& gains, LookaheadDelay& delay,
                 MeterValues& meters);

private:
    struct Channel {
        Biquad high, low;
    };

    Channel left_, right_;
    double smoothedHF_ = 0.0;
    double smoothedLF_ = 0.0;
    TwoBandClipper clipper_;
};

} // namespace qex::dsp
