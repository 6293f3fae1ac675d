#include "band_gain_computer.h"

#include "power.h"

#include <algorithm>
#include <utility>

namespace qex::dsp {

namespace {

// Freeze factor of the compressor envelopes while gated (not the AGC's 0.99999988).
constexpr double kGateFreeze = 0.9999988;
// Hold of the expander and the limiter, 11.3 ms.
constexpr uint32_t kFixedHold = 500;

constexpr Pair kOnes = {1.0, 1.0};

// Two bands computed side by side, one per lane; a band without a partner takes both lanes.
struct BandPair {
    int first, second;
};

// One section of the two bands of a pair: its coefficients and state as lanes, taken from the
// records at the start of a chunk; the state goes back at its end. Hold counters are held as
// doubles, which count exactly.
struct SectionLanes {
    SectionLanes(const SectionRecord& a, const SectionRecord& b)
        : attack1{a.attack1.get(), b.attack1.get()}, release1{a.release1.get(), b.release1.get()},
          threshold{a.threshold.get(), b.threshold.get()}, exponent{a.exponent.get(), b.exponent.get()},
          envelope{a.envelope, b.envelope}, hold{static_cast<double>(a.holdCounter), static_cast<double>(b.holdCounter)}
    {
    }

    void Store(SectionRecord& a, SectionRecord& b) const
    {
        b.envelope = envelope[1];
        b.holdCounter = static_cast<uint32_t>(hold[1]);
        a.envelope = envelope[0];
        a.holdCounter = static_cast<uint32_t>(hold[0]);
    }

    Pair attack1, release1, threshold, exponent;
    Pair envelope, hold;
};

// The one-pole step shared by the expander and the limiter: attack with a fixed hold after it.
void FollowWithHold(SectionLanes& r, Pair level)
{
    constexpr Pair kHold = {kFixedHold, kFixedHold};
    const Mask attack = level > r.envelope;
    const Mask holding = r.hold > 0;
    const Pair c = attack ? r.attack1 : holding ? kOnes : r.release1;
    r.hold = attack ? kHold : holding ? r.hold - 1 : r.hold;
    r.envelope = c * r.envelope + (1 - c) * level;
}

// The compressor's two envelopes. Both share threshold and exponent: with an exponent of 0 or
// below (a ratio of 1.0 or more, which every load enforces) the larger envelope gives the
// smaller gain, and above 0 the smaller one does, so one power serves for min(fast gain, slow
// gain).
struct CompressorLanes : SectionLanes {
    CompressorLanes(const SectionRecord& a, const SectionRecord& b, double slowA, double slowB)
        : SectionLanes(a, b), attack2{a.attack2.get(), b.attack2.get()}, release2{a.release2.get(), b.release2.get()},
          holdLength{static_cast<double>(a.holdLength.get()), static_cast<double>(b.holdLength.get())},
          slow{slowA, slowB}
    {
        // An attack within the hold time is five times slower and holds shorter.
        slowAttack1 = 1 - (1 - attack1) * 0.2;
        reattackHoldLength = Pair{static_cast<double>(a.holdLength.get() / 5), static_cast<double>(b.holdLength.get() / 5)};
    }

    // Follows level x and returns the envelope whose power is the gain, over the threshold.
    // gated: where the fast envelope freezes instead of releasing.
    Pair Follow(Pair x, Pair gateLevel, Mask gated)
    {
        constexpr Pair kFreeze = {kGateFreeze, kGateFreeze};
        // Slow envelope: always gated by the band's own level, but an attack overrides the gate.
        Pair k = x < gateLevel ? kFreeze : release2;
        k = x > slow ? attack2 : k;
        slow = k * slow + (1 - k) * x;
        slow = slow < threshold ? threshold : slow;

        Pair& fast = envelope;
        const Mask attack = x > fast;
        const Mask firstAttack = hold < 2;
        const Mask holding = hold > 0;
        k = attack ? (firstAttack ? attack1 : slowAttack1) : holding ? kOnes : gated ? kFreeze : release1;
        hold = attack ? (firstAttack ? holdLength : reattackHoldLength) : holding ? hold - 1 : hold;
        fast = k * fast + (1 - k) * x;
        fast = fast < threshold ? threshold : fast;

        const Pair larger = fast < slow ? slow : fast;
        const Pair smaller = fast < slow ? fast : slow;
        return (exponent <= 0 ? larger : smaller) / threshold;
    }

    Pair attack2, release2, holdLength, slow;
    Pair slowAttack1, reattackHoldLength;
};

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
    const double ratio = std::max(slow, threshold) / threshold;
    const double exponent = c.exponent.get();
    return Power(Pair{ratio, ratio}, Pair{exponent, exponent})[0];
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

void BandGainComputer::Compute(int first, int last, std::span<const BandValues> levels, std::span<const bool> gated,
                               std::span<BandValues> gains, const GlobalParams& params,
                               const ProcessingSettings& settings)
{
    const size_t count = levels.size();
    if (count == 0)
        return;
    const double gateLevelValue = settings.GateLevel.get();
    const Pair gateLevel = {gateLevelValue, gateLevelValue};
    const bool independentGate = params.IndependentGate.get() != 0;
    const bool multiband = first < kMultibandCount;
    const bool expanderOn = multiband && params.ExpanderOn.get();
    const bool compressorOn = !multiband || params.CompressorOn.get();
    const bool limiterOn = multiband && params.LimiterOn.get();

    for (int b = first; b <= last; b += 2) {
        const BandPair bands = {b, std::min(b + 1, last)};
        const auto lanes = [&](size_t i) { return Pair{levels[i][bands.first], levels[i][bands.second]}; };
        const auto records = [&](int section) -> std::pair<SectionRecord&, SectionRecord&> {
            return {record(bands.first, section), record(bands.second, section)};
        };
        auto [expanderA, expanderB] = records(Expander);
        auto [compressorA, compressorB] = records(Compressor);
        auto [limiterA, limiterB] = records(Limiter);

        // The expander's and the compressor's envelopes follow the levels alone, so they run
        // over the whole chunk first and leave the quotients whose powers are their gains; the
        // powers are then taken together, and the limiter follows the gains.
        std::array<Pair, kChunkFrames> expanderGain, compressorGain;
        if (expanderOn) {
            SectionLanes expander(expanderA, expanderB);
            for (size_t i = 0; i < count; ++i) {
                FollowWithHold(expander, lanes(i));
                expanderGain[i] = expander.envelope / expander.threshold;
            }
            for (size_t i = 0; i < count; ++i)
                expanderGain[i] = expanderGain[i] < 1.0 ? Power(expanderGain[i], expander.exponent) : kOnes;
            expander.Store(expanderA, expanderB);
        } else {
            std::fill_n(expanderGain.begin(), count, kOnes);
        }

        if (compressorOn) {
            CompressorLanes compressor(compressorA, compressorB, SlowEnvelope[bands.first].get(),
                                       SlowEnvelope[bands.second].get());
            for (size_t i = 0; i < count; ++i) {
                const Pair x = lanes(i);
                const Mask bandGated = independentGate ? x < gateLevel : Both(gated[i]);
                compressorGain[i] = compressor.Follow(x, gateLevel, bandGated);
            }
            for (size_t i = 0; i < count; ++i)
                compressorGain[i] = Power(compressorGain[i], compressor.exponent);
            compressor.Store(compressorA, compressorB);
            SlowEnvelope[bands.second].set(compressor.slow[1]);
            SlowEnvelope[bands.first].set(compressor.slow[0]);
        } else {
            std::fill_n(compressorGain.begin(), count, kOnes);
        }

        // The limiter's envelope always follows, so switching it on limits at once.
        SectionLanes limiter(limiterA, limiterB);
        const Mask mute = {-int64_t{!multiband && settings.BandMute[bands.first].get() != 0},
                           -int64_t{!multiband && settings.BandMute[bands.second].get() != 0}};
        Pair gain{}, limiterGain{};
        for (size_t i = 0; i < count; ++i) {
            gain = expanderGain[i] * compressorGain[i];
            FollowWithHold(limiter, lanes(i) * gain);
            limiterGain = (limiter.envelope > limiter.threshold) & Both(limiterOn) ? limiter.threshold / limiter.envelope
                                                                                  : kOnes;
            gain = gain * limiterGain;
            gain = mute ? Pair{0.000001, 0.000001} : gain;
            gains[i][bands.second] = gain[1];
            gains[i][bands.first] = gain[0];
        }
        limiter.Store(limiterA, limiterB);

        // Meter values, as the last frame leaves them.
        const size_t lastFrame = count - 1;
        for (int lane = 1; lane >= 0; --lane) {
            const int band = lane == 0 ? bands.first : bands.second;
            record(band, Expander).gain.set(expanderGain[lastFrame][lane]);
            record(band, Compressor).gain.set(compressorGain[lastFrame][lane]);
            record(band, Limiter).gain.set(limiterGain[lane]);
            BandGain[band].set(gain[lane]);
            BandLevel[band] = levels[lastFrame][band];
        }
    }
}

} // namespace qex::dsp
