#include "dual_band_processor.h"

#include <algorithm>
#include <array>

namespace qex::dsp {

namespace {

// Second-order Butterworth pair at 6000 Hz with shared poles.
constexpr Biquad::Coefficients kSplitHighpass = {0.540049956942366, -1.080099913884733, 0.540049956942366,
                                                 -0.855989502672595, 0.30421032509687};
constexpr Biquad::Coefficients kSplitLowpass = {0.112055205606069, 0.224110411212137, 0.112055205606069,
                                                -0.855989502672595, 0.30421032509687};

} // namespace

QEX_CHUNK_CODE
void DualBandProcessor::Process(Frames frames, std::span<const double> denormOffsets, std::span<const bool> gated,
                                std::span<const int> rows, const GlobalParams& params,
                                const ProcessingSettings& settings, BandGainComputer& gains, LookaheadDelay& delay,
                                MeterValues& meters)
{
    const size_t count = frames.size();
    const double density = settings.DensityGain.get();
    std::array<Pair, kChunkFrames> hf, lf;
    std::array<BandGainComputer::BandValues, kChunkFrames> levels, computed;
    Biquad high = high_, low = low_;
    for (size_t i = 0; i < count; ++i) {
        const Pair x = ToPair(frames[i]);
        hf[i] = high.process(kSplitHighpass, x) * density;
        lf[i] = low.process(kSplitLowpass, x) * density;
        const double n = denormOffsets[i];
        levels[i][kBandHF] = LargerLane(Abs(hf[i] + n));
        levels[i][kBandLF] = LargerLane(Abs(lf[i] + n));
    }
    high_ = high;
    low_ = low;

    gains.Compute(kBandHF, kBandLF, std::span(levels).first(count), gated, std::span(computed).first(count), params,
                  settings);

    // The delay holds the audio and the current gain is applied at its output: the gain leads.
    const int drive = params.ClipDrivePct.get();
    double smoothedHF = smoothedHF_, smoothedLF = smoothedLF_;
    double preClipPeak = 0.0;
    for (size_t i = 0; i < count; ++i) {
        smoothedHF = 0.9 * smoothedHF + 0.1 * computed[i][kBandHF];
        smoothedLF = 0.9 * smoothedLF + 0.1 * computed[i][kBandLF];
        const Pair delayedHF = delay.Exchange(rows[i], kBandHF, hf[i]);
        const Pair delayedLF = delay.Exchange(rows[i], kBandLF, lf[i]);
        const Pair y = drive * (smoothedLF * delayedLF - smoothedHF * delayedHF) * 0.01;
        frames[i] = ToFrame(y);
        preClipPeak = std::max(preClipPeak, LargerLane(Abs(y)));
    }
    smoothedHF_ = smoothedHF;
    smoothedLF_ = smoothedLF;
    meters.PreClipPeak.raiseTo(preClipPeak);

    clipper_.Process(frames, !params.NoClipper.get(), settings.ClipLevelLF.get(), settings.ClipLevelHF.get());
    double clipPeak = 0.0;
    for (const Frame& frame : frames)
        clipPeak = std::max(clipPeak, LargerLane(Abs(ToPair(frame))));
    meters.ClipPeak.raiseTo(clipPeak);
}

} // namespace qex::dsp
