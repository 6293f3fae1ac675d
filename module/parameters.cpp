#include "parameters.h"

#include "dsp/conversions.h"
#include "dsp/lookahead_delay.h"
#include "dsp/soft_clip.h"

#include <algorithm>
#include <cstdint>

namespace qex {

using namespace dsp;

namespace {

// Loaded presets are pulled into the panel's ranges, but a length indexes a delay line, so each
// is also held to what its state can take whatever reaches it: the look-ahead to the rows of its
// delay line, the stereo delay to the panel's 20 ms, the hold to its 32-bit counter. Negative
// times give no length.
constexpr int32_t kLongestLookahead = LookaheadDelay::kRows - 1;
constexpr int32_t kLongestStereoDelay = 20 * kSampleRate / 1000;
constexpr uint32_t kDualBandHold = 500;

template <typename Length>
Length SamplesWithin(int ms, Length longest)
{
    return static_cast<Length>(std::clamp<int64_t>(MsToSamples(ms), 0, longest));
}

} // namespace

void DeriveSectionCoefficients(const SectionParams& params, int section, SectionCoefficients& out)
{
    out.attack1.set(TimeCoef(params.Attack1Ms.get()));
    out.release1.set(TimeCoef(params.Release1Ms.get()));
    out.attack2.set(TimeCoef(params.Attack2Ms.get()));
    out.release2.set(TimeCoef(params.Release2Ms.get()));
    // The gains divide by the threshold. The panel's range never derives less than 1036; a
    // Threshold above about 900 would truncate to 0.
    out.threshold.set(std::max(LevelFromTenthDb(-params.Threshold.get()), 1));
    const double inverseRatio = 10.0 / params.Ratio.get();
    out.exponent.set(section == Expander ? 1 - inverseRatio : inverseRatio - 1);
}

void DeriveBandOutputGain(const ParameterSet& set, int band, ProcessingSettings& settings)
{
    settings.BandOutputGain[band].set(LevelFromTenthDb(set.record(band, Compressor).BandGainTenthDb.get()));
}

void DeriveBandOutputGains(const ParameterSet& set, ProcessingSettings& settings)
{
    for (int band = 0; band < kMultibandCount; ++band)
        DeriveBandOutputGain(set, band, settings);
}

void DeriveClipLevels(const ParameterSet& set, ProcessingSettings& settings)
{
    settings.ClipLevelHF.set(LevelFromTenthDb(set.record(kBandHF, Compressor).BandGainTenthDb.get()) - ClipKnee);
    settings.ClipLevelLF.set(LevelFromTenthDb(set.record(kBandLF, Compressor).BandGainTenthDb.get()) - ClipKnee);
}

void DeriveGlobalValues(const ParameterSet& set, SignalPath& path)
{
    const GlobalParams& g = set.Global;
    ProcessingSettings& s = path.Settings;

    s.OverdriveGain.set(LevelFromDb(g.OverdriveDb.get()) * 0.000030517578125);
    s.DensityGain.set(LevelFromDb(g.DensityDb.get()) * 0.000030517578125);

    // The AGC divides by its envelope, held at this floor: at least 921 within the panel's
    // range; a maximum gain above about 84 dB would truncate it to 0.
    s.AgcEnvelopeFloor.set(std::max(LevelFromDb(-g.AgcMaxGainDb.get()) / 2, 1));
    s.GateLevel.set(LevelFromDb(-g.GateDb.get()));
    s.BassClipLevel.set(LevelFromTenthDb(g.BassClipThr.get()));
    s.BassAttack.set(TimeCoef(g.BassAttackMs.get()));
    s.BassRelease.set(TimeCoef(g.BassReleaseMs.get()));
    s.MasterAttack.set(TimeCoef(g.MasterAttackMs.get()));
    s.MasterRelease.set(TimeCoef(g.MasterReleaseMs.get()));
    const int mix = g.MasterBassMixPct.get();
    s.BassWeight.set((100 - mix) * 0.01);
    s.MasterWeight.set(mix * 0.01);

    s.LookaheadLength.set(SamplesWithin(g.LookaheadMs.get(), kLongestLookahead));
    s.StereoDelayLength.set(SamplesWithin(g.StereoDepthMs.get(), kLongestStereoDelay));

    // 1 − a is taken from the stored single-precision a, so that the two add up to 1 as
    // closely as single precision allows (exactly from 50 % up).
    const float efficiency = static_cast<float>(g.MultibandEfficiencyPct.get() * 0.01);
    s.Efficiency.set(efficiency);
    s.OneMinusEfficiency.set(1 - efficiency);

    const uint32_t hold = SamplesWithin(g.HoldMs.get(), UINT32_MAX);
    for (int band = 0; band < kBandCount; ++band)
        path.Gains.record(band, Compressor).holdLength.set(band < kMultibandCount ? hold : kDualBandHold);

    DeriveClipLevels(set, s);

    path.BassEq.Design(g.BassEqGainDb.get(), g.BassEqFreqHz.get(), g.has(Flag::BassShelving), g.has(Flag::BassHighQ));
}

} // namespace qex
