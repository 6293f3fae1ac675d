#pragma once
// The multiband processor: splits the driven signal into five bands (or four) with fixed
// fourth-order filters, measures each band, lets the band gain computer set its gain, links
// neighbouring gains, blends them toward unity by the efficiency, smooths them, delays the
// gain-weighted bands by the look-ahead and sums them with alternating signs.

#include "band_gain_computer.h"
#include "filter_sections.h"
#include "frame.h"
#include "lookahead_delay.h"
#include "meter_values.h"
#include "processing_settings.h"

#include <array>
#include <span>

namespace qex::dsp {

class MultibandProcessor {
public:
    // Block 4 of the frame: the overdrive gain in front of the pre-emphasis.
    static void ApplyOverdrive(Frames frames, const ProcessingSettings& settings);

    // Block 6. gated: the AGC's gate for each frame; rows receives the look-ahead row of each
    // frame. With bypassAll the analysis runs (meters keep moving, the gate is cleared) but the
    // frames are left as they were and the delay index stands still.
    void Process(Frames frames, std::span<const bool> gated, std::span<int> rows, const GlobalParams& params,
                 const ProcessingSettings& settings, bool bypassAll, BandGainComputer& gains, LookaheadDelay& delay,
                 MeterValues& meters);

private:
    struct Band {
        FourthOrderSection filter;
        double rms = 0.0;
        double smoothedGain = 0.0;
    };
    // Each band's filtered values of the frames of a chunk.
    using BandSignals = std::array<std::array<Pair, kMultibandCount>, kChunkFrames>;

    // The filter bank and the detectors over a chunk: values and levels of each band. The
    // coefficients are known when this is compiled, so they are used straight from memory
    // instead of being loaded and spread over both lanes frame after frame.
    template <const FourthOrderSection::Coefficients (&Bank)[kMultibandCount]>
    static void Analyse(std::array<Band, kMultibandCount>& bands, Frames frames, bool trackRms, BandSignals& values,
                        std::span<BandGainComputer::BandValues> levels);

    std::array<Band, kMultibandCount> bands_{};
};

} // namespace qex::dsp
