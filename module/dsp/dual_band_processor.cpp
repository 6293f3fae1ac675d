#include "dual_band_processor.h"

#include <algorithm>
#include <cmath>

namespace qex::dsp {

namespace {

// Second-order Butterworth pair at 6000 Hz with shared poles.
constexpr Biquad::Coefficients kSplitHighpass = {0.540049956942366, -1.080099913884733, 0.540049956942366,
                                                 -0.855989502672595, 0.30421032509687};
constexpr Biquad::Coefficients kSplitLowpass = {0.112055205606069, 0.224110411212137, 0.112055205606069,
                                                -0.855989502672595, 0.30421032509687};

} // namespace

void DualBandProcessor::Process(Frame& frame, double denormOffset, bool gated, int row, const GlobalParams& params,
                                const ProcessingSettings& settings, BandGainComputer& gains, LookaheadDelay& delay,
                                MeterValues& meters)
{
    const double density = settings.DensityGain.get();
    const double hfR = right_.high.process(kSplitHighpass, frame.R) * density;
    const double hfL = left_.high.process(kSplitHighpass, frame.L) * density;
    const double lfR = right_.low.process(kSplitLowpass, frame.R) * density;
    const double lfL = left_.low.process(kSplitLowpass, frame.L) * density;

    const double n = denormOffset;
    gains.BandLevel[kBandHF] = std::max(std::fabs(hfR + n), std::fabs(hfL + n));
    gains.BandLevel[kBandLF] = std::max(std::fabs(lfR + n), std::fabs(lfL + n));
    gains.Compute(kBandHF, kBandLF, params, settings, gated);

    smoothedHF_ = 0.9 * smoothedHF_ + 0.1 * gains.BandGain[kBandHF].get();
    smoothedLF_ = 0.9 * smoothedLF_ + 0.1 * gains.BandGain[kBandLF].get();

    // The delay holds the audio and the current gain is applied at its output: the gain leads.
    const double delayedHfR = delay.Exchange(row, LookaheadDelay::RightColumn(kBandHF), hfR);
    const double delayedLfR = delay.Exchange(row, LookaheadDelay::RightColumn(kBandLF), lfR);
    const double delayedHfL = delay.Exchange(row, LookaheadDelay::LeftColumn(kBandHF), hfL);
    const double delayedLfL = delay.Exchange(row, LookaheadDelay::LeftColumn(kBandLF), lfL);

    const int drive = params.ClipDrivePct.get();
    frame.R = drive * (smoothedLF_ * delayedLfR - smoothedHF_ * delayedHfR) * 0.01;
    frame.L = drive * (smoothedLF_ * delayedLfL - smoothedHF_ * delayedHfL) * 0.01;
    meters.PreClipPeak.raiseTo(std::max(std::fabs(frame.R), std::fabs(frame.L)));

    clipper_.Process(frame, !params.NoClipper.get(), settings.ClipLevelLF.get(), settings.ClipLevelHF.get());
    meters.ClipPeak.raiseTo(std::max(std::fabs(frame.R), std::fabs(frame.L)));
}

} // namespace qex::dsp
