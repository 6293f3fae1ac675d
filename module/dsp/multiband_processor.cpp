#include "multiband_processor.h"

#include <algorithm>
#include <cmath>

namespace qex::dsp {

namespace {

using Coefficients = FourthOrderSection::Coefficients;

// Pass bands at −3 dB: about 0–69 Hz, 125–1220 Hz, 1.49–4.83 kHz, 4.78–9.68 kHz, 9.59–16.1 kHz.
constexpr Coefficients kFiveBands[kMultibandCount] = {
    {5.25711192e-07, 1.48344768e-07, -3.09232849e-07, 1.58344768e-07, -1.71288808e-07, -3.925539750695006,
     5.779378889138285, -3.782079282468395, 0.928240505404176},
    {0.007564590902977, -1.50715e-05, -0.015133300805952, 0, 0.007566648902976, -3.727884918910256, 5.226773332497304,
     -3.268421202715063, 0.769564199566211},
    {0.041091692670225, -4.5955e-05, -0.082182253340449, 0, 0.041091061170225, -3.103973244833686, 3.80957762470683,
     -2.204860297297529, 0.514754070186592},
    {0.077717132531623, 1.17375e-05, -0.155434253063247, 0, 0.077717126531623, -1.690109162251134, 1.814523286186045,
     -1.010444843315776, 0.382403073079115},
    {0.124341419171717, 0, -0.248682838343435, 0, 0.124341419171717, 0.776230060369421, 0.946074863562789,
     0.376514119247381, 0.282821461495188},
};

// About 14–141 Hz, 140–700 Hz, 0.70–4.03 kHz, 4.0–20.0 kHz; the fifth band is silent.
constexpr Coefficients kFourBands[kMultibandCount] = {
    {7.9556211012e-05, 0, -0.000159112422024, 0, 7.9556211012e-05, -3.974534365107744, 5.924001389493139,
     -3.92439868312524, 0.974931660302937},
    {0.001505765033336, 0, -0.003011530066672, 0, 0.001505765033336, -3.883407011555764, 5.660328145192482,
     -3.670215425742736, 0.893298035209584},
    {0.041091061170225, 0, -0.082182122340451, 0, 0.041091061170225, -3.253841335136233, 4.052782786689983,
     -2.311316240518563, 0.51475407568659},
    {0.537138814805228, 0, -1.074277629610456, 0, 0.537138814805228, 0.382109524033993, -0.797234350840012,
     -0.080974254379005, 0.301416074677199},
    {0, 0, 0, 0, 0, 0, 0, 0, 0},
};

// Smoothing factors of the RMS detectors, slowest in the lowest band.
constexpr double kRmsAlpha[kMultibandCount] = {0.99, 0.95, 0.79277, 0.68842, 0.5};

// Pulls target toward the smaller of itself and reference by p percent.
void Link(double reference, double& target, int p)
{
    target = ((100 - p) * target + p * std::min(target, reference)) * 0.01;
}

} // namespace

template <const FourthOrderSection::Coefficients (&Bank)[kMultibandCount]>
QEX_CHUNK_CODE void MultibandProcessor::Analyse(std::array<Band, kMultibandCount>& bands, Frames frames, bool trackRms,
                                                BandSignals& values, std::span<BandGainComputer::BandValues> levels)
{
    // All bands frame by frame, so that their recursions overlap.
    for (size_t i = 0; i < frames.size(); ++i) {
        const Pair in = 0.8 * ToPair(frames[i]);
        for (int k = 0; k < kMultibandCount; ++k) {
            Band& band = bands[k];
            values[i][k] = band.filter.processWithoutOffset(Bank[k], in);
            const double m = LargerLane(Abs(values[i][k]));
            if (trackRms)
                band.rms = kRmsAlpha[k] * band.rms + (1 - kRmsAlpha[k]) * (m * m);
            else
                levels[i][k] = m;
        }
        // The square roots of neighbouring bands are taken together.
        if (trackRms) {
            for (int k = 0; k < kMultibandCount; k += 2) {
                const int next = std::min(k + 1, kMultibandCount - 1);
                const Pair root = Sqrt(Pair{bands[k].rms, bands[next].rms});
                levels[i][next] = root[1];
                levels[i][k] = root[0];
            }
        }
    }
}

QEX_CHUNK_CODE
void MultibandProcessor::ApplyOverdrive(Frames frames, const ProcessingSettings& settings)
{
    const double gain = settings.OverdriveGain.get();
    for (Frame& frame : frames)
        frame = ToFrame(ToPair(frame) * gain);
}

QEX_CHUNK_CODE
void MultibandProcessor::Process(Frames frames, std::span<const bool> gated, std::span<int> rows,
                                 const GlobalParams& params, const ProcessingSettings& settings, bool bypassAll,
                                 BandGainComputer& gains, LookaheadDelay& delay, MeterValues& meters)
{
    const size_t count = frames.size();
    const bool trackRms = params.has(Flag::TrackRms);

    BandSignals values;
    std::array<BandGainComputer::BandValues, kChunkFrames> levels, computed;
    std::array<Band, kMultibandCount> bands = bands_;
    if (params.has(Flag::FourBands))
        Analyse<kFourBands>(bands, frames, trackRms, values, levels);
    else
        Analyse<kFiveBands>(bands, frames, trackRms, values, levels);

    gains.Compute(0, kMultibandCount - 1, std::span(levels).first(count), gated, std::span(computed).first(count),
                  params, settings);

    const int lookahead = settings.LookaheadLength.get();
    const double a = settings.Efficiency.get();
    const double oneMinusA = settings.OneMinusEfficiency.get();
    std::array<bool, kMultibandCount> muted;
    std::array<double, kMultibandCount> outputGain;
    for (int k = 0; k < kMultibandCount; ++k) {
        muted[k] = settings.BandMute[k].get() != 0;
        outputGain[k] = settings.BandOutputGain[k].get();
    }
    const int link12 = params.BandLink12Pct.get(), link32 = params.BandLink32Pct.get();
    const int link43 = params.BandLink43Pct.get(), link54 = params.BandLink54Pct.get();

    std::array<double, kMultibandCount> gain{};
    for (size_t i = 0; i < count; ++i) {
        std::copy_n(computed[i].begin(), kMultibandCount, gain.begin());
        Link(gain[1], gain[0], link12);
        Link(gain[1], gain[2], link32);
        Link(gain[2], gain[3], link43);
        Link(gain[3], gain[4], link54);
        if (bypassAll) {
            rows[i] = delay.Index();
            continue;
        }

        delay.Advance(lookahead);
        const int row = rows[i] = delay.Index();
        std::array<Pair, kMultibandCount> out;
        for (int k = 0; k < kMultibandCount; ++k) {
            Band& band = bands[k];
            gain[k] = muted[k] ? 0.000001 : gain[k] * a + oneMinusA;
            band.smoothedGain = 0.9 * band.smoothedGain + 0.1 * gain[k];
            // The gain travels through the delay with the audio it was computed from.
            const Pair delayed = delay.Exchange(row, k, band.smoothedGain * values[i][k]);
            out[k] = outputGain[k] * delayed * 0.00003051850947599719;
        }
        frames[i] = ToFrame(out[0] - out[1] + out[2] - out[3] + out[4]);
    }
    bands_ = bands;

    for (int k = 0; k < kMultibandCount; ++k)
        gains.BandGain[k].set(gain[k]);
    if (bypassAll)
        meters.Gated.set(0);
}

} // namespace qex::dsp
