#include "band_gain_computer.h"

#include <algorithm>
#include <cmath>

namespace qex::dsp {

namespace {

// Freeze factor of the compressor envelopes while gated (not the AGC's 0.99999988).
constexpr double kGateFreeze = 0.9999988;
// Hold of the expander and the limiter, 11.3 ms.
constexpr uint32_t kFixedHold = 500;

// A gain law; at the threshold (ratio 1) the result is exactly 1 without the cost of a power.
double Power(double ratio, double exponent)
{
    return ratio == 1.0 ? 1.0 : std::pow(ratio, exponent);
}

// The one-pole step shared by the expander and the limiter: attack with a fixed hold after it.
void FollowWithHold(SectionRecord& r, double level)
{
    double c;
    if (level > r.envelope) {
        c = r.attack1.get();
        r.holdCounter = kFixedHold;
    } else if (r.holdCounter > 0) {
        c = 1.0;
        --r.holdCounter;
    } else {
        c = r.release1.get();
    }
    r.envelope = c * r.envelope + (1 - c) * level;
}

double ExpanderGain(SectionRecord& e, double x)
{
    FollowWithHold(e, x);
    const double threshold = e.threshold.get();
    return e.envelope < threshold ? Power(e.envelope / threshold, e.exponent.get()) : 1.0;
}

// Both compressor envelopes share threshold and exponent: with an exponent of 0 or below (a
// ratio of 1.0 or more, which every load enforces) the larger envelope gives the smaller gain,
// so one power serves for min(fast gain, slow gain).
double CompressorGain(SectionRecord& c, Shared<double>& slowEnvelope, double x, int32_t gateLevel, bool gated)
{
    const double threshold = c.threshold.get();
    const double exponent = c.exponent.get();

    // Slow envelope: always gated by the band's own level, but an attack overrides the gate.
    double slow = slowEnvelope.get();
    double k = x < gateLevel ? kGateFreeze : c.release2.get();
    if (x > slow)
        k = c.attack2.get();
    slow = k * slow + (1 - k) * x;
    if (slow < threshold)
        slow = threshold;
    slowEnvelope.set(slow);

    // Fast envelope: an attack within the hold time is five times slower and holds shorter.
    double& fast = c.envelope;
    if (x > fast) {
        if (c.holdCounter < 2) {
            k = c.attack1.get();
            c.holdCounter = c.holdLength.get();
        } else {
            k = 1 - (1 - c.attack1.get()) * 0.2;
            c.holdCounter = c.holdLength.get() / 5;
        }
    } else if (c.holdCounter > 0) {
        k = 1.0;
        --c.holdCounter;
    } else {
        k = gated ? kGateFreeze : c.release1.get();
    }
    fast = k * fast + (1 - k) * x;
    if (fast < threshold)
        fast = threshold;

    if (exponent <= 0)
        return Power(std::max(fast, slow) / threshold, exponent);
    return std::min(Power(fast / threshold, exponent), Power(slow / threshold, exponent));
}

} // namespace

void SectionCoefficients::PublishFrom(const SectionCoefficients& other)
{
    attack1.set(other.attack1.get());
    release1.set(other.release1.get());
    attack2.set(other.attack2.get());
    release2.set(other.release2.get());
    threshold.set(other.threshold.get());
    exponent.set(other.exponent.get());
}

double BandGainComputer::SlowGain(int band) const
{
    const SectionRecord& c = Records[RecordIndex(band, Compressor)];
    const double threshold = c.threshold.get();
    const double slow = SlowEnvelope[band].get();
    // Before the compressor has run, the envelope has not yet been lifted to the threshold.
    return Power(std::max(slow, threshold) / threshold, c.exponent.get());
}

void BandGainComputer::ResetStates()
{
    for (auto& r : Records) {
        r.envelope = 0.0;
        r.holdCounter = 0;
    }
    for (int b = 0; b < kBandCount; ++b) {
        BandGain[b].set(0.0);
        SlowEnvelope[b].set(0.0);
    }
}

void BandGainComputer::Compute(int first, int last, const GlobalParams& params, const ProcessingSettings& settings,
                               bool gated)
{
    const int32_t gateLevel = settings.GateLevel.get();
    const bool independentGate = params.IndependentGate.get() != 0;
    for (int b = first; b <= last; ++b) {
        const double x = BandLevel[b];
        const bool multiband = b < kMultibandCount;
        SectionRecord& compressor = record(b, Compressor);
        SectionRecord& expander = record(b, Expander);
        SectionRecord& limiter = record(b, Limiter);

        const double expanderGain = multiband && params.ExpanderOn.get() ? ExpanderGain(expander, x) : 1.0;
        expander.gain.set(expanderGain);

        double compressorGain = 1.0;
        if (!multiband || params.CompressorOn.get()) {
            const bool bandGated = independentGate ? x < gateLevel : gated;
            compressorGain = CompressorGain(compressor, SlowEnvelope[b], x, gateLevel, bandGated);
        }
        compressor.gain.set(compressorGain);

        double gain = expanderGain * compressorGain;

        // The limiter's envelope always follows, so switching it on limits at once.
        FollowWithHold(limiter, x * gain);
        const double limiterThreshold = limiter.threshold.get();
        const double limiterGain = limiter.envelope > limiterThreshold && multiband && params.LimiterOn.get()
                                       ? limiterThreshold / limiter.envelope
                                       : 1.0;
        limiter.gain.set(limiterGain);
        gain = gain * limiterGain;

        if (!multiband && settings.BandMute[b].get())
            gain = 0.000001;
        BandGain[b].set(gain);
    }
}

} // namespace qex::dsp
