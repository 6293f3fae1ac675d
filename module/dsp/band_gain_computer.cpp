#include "band_gain_computer.h"

#include "power.h"

#include <algorithm>
#include <type_traits>
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

// A hold counter one frame on: down by one, but not below 0.
Pair CountDown(Pair hold)
{
    return _mm_max_pd(Pair{}, hold - 1);
}

// The one-pole step shared by the expander and the limiter: attack with a fixed hold after it.
void FollowWithHold(SectionLanes& r, Pair level)
{
    constexpr Pair kHold = {kFixedHold, kFixedHold};
    const Mask attack = level > r.envelope;
    const Mask holding = r.hold > 0;
    const Pair c = attack ? r.attack1 : holding ? kOnes : r.release1;
    r.hold = attack ? kHold : CountDown(r.hold);
    r.envelope = c * r.envelope + (1 - c) * level;
}

// The compressor's two envelopes. Both share threshold and exponent: with an exponent of 0 or
// below (a ratio of 1.0 or more, which every load enforces) the larger envelope gives the
// smaller gain, and above 0 the smaller one does, so one power serves for min(fast gain, slow
// gain).
struct CompressorLanes : SectionLanes {
    CompressorLanes(const SectionRecord& a, const SectionRecord& b, double slowA, double slowB)
        : SectionLanes(a, b), attack2{a.attack2.get(), b.attack2.get()}, release2{a.release2.get(), b.release2.get()},
          holdLength{static_cast<double>(a.holdLength.get()), static_cast<double>(b.holdLength.get())}, slow{slowA,
                                                                                                             slowB}
    {
        // An attack within the hold time is five times slower and holds shorter.
        slowAttack1 = 1 - (1 - attack1) * 0.2;
        reattackHoldLength =
            Pair{static_cast<double>(a.holdLength.get() / 5), static_cast<double>(b.holdLength.get() / 5)};
    }

    // Follows level x and returns the envelope whose quotient by the threshold, raised to the
    // exponent, is the gain.
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
        hold = attack ? (firstAttack ? holdLength : reattackHoldLength) : CountDown(hold);
        fast = k * fast + (1 - k) * x;
        fast = fast < threshold ? threshold : fast;

        // The larger and the smaller envelope: fast < slow ? slow : fast and the reverse.
        const Pair larger = _mm_max_pd(slow, fast);
        const Pair smaller = _mm_min_pd(fast, slow);
        return exponent <= 0 ? larger : smaller;
    }

    Pair attack2, release2, holdLength, slow;
    Pair slowAttack1, reattackHoldLength;
};

// Turns envelopes into gains, in place: each envelope's quotient by its lane's threshold to the
// power of the lane's exponent. Where both lanes have the previous frame's envelope (one that
// holds), or envelopes at the threshold, neither the quotient nor the power is taken again.
// Two neighbouring frames that both need a power have them taken side by side.
QEX_CHUNK_CODE
void RaiseToPower(std::span<Pair> envelopes, Pair threshold, Pair exponent)
{
    const Mask unity = exponent == 0.0;
    const auto needsPower = [&](Pair envelope, Pair previous) {
        const Mask same = envelope == previous;
        const Mask one = (envelope == threshold) | unity;
        return (same[0] & same[1]) == 0 && (one[0] & one[1]) == 0;
    };
    Pair previousEnvelope = {-1.0, -1.0}, previousGain{};
    for (size_t i = 0; i < envelopes.size(); ++i) {
        const Pair envelope = envelopes[i];
        if (i + 1 < envelopes.size() && needsPower(envelope, previousEnvelope) &&
            needsPower(envelopes[i + 1], envelope)) {
            previousEnvelope = envelopes[i + 1];
            Pair& first = envelopes[i];
            Pair& second = envelopes[++i];
            first = first / threshold;
            second = second / threshold;
            Power(first, exponent, second, exponent);
            previousGain = second;
            continue;
        }
        const Mask same = envelope == previousEnvelope;
        const Mask one = (envelope == threshold) | unity;
        Pair& gain = envelopes[i];
        if ((same[0] & same[1]) != 0)
            gain = previousGain;
        else if ((one[0] & one[1]) != 0)
            gain = kOnes;
        else
            gain = Power(envelope / threshold, exponent);
        previousEnvelope = envelope;
        previousGain = gain;
    }
}

// The bands of one call, N pairs of them, computed frame by frame with all pairs side by side
// so that their envelopes' recursions overlap.
template <size_t N>
class PairedBands {
public:
    PairedBands(BandGainComputer& computer, int first, int last) : computer_(computer)
    {
        for (size_t p = 0; p < N; ++p) {
            const int band = first + 2 * static_cast<int>(p);
            pairs_[p] = {band, std::min(band + 1, last)};
        }
    }

    QEX_CHUNK_CODE
    void Compute(std::span<const BandGainComputer::BandValues> levels, std::span<const bool> gated,
                 std::span<BandGainComputer::BandValues> gains, const GlobalParams& params,
                 const ProcessingSettings& settings)
    {
        const size_t count = levels.size();
        const double gateLevelValue = settings.GateLevel.get();
        const Pair gateLevel = {gateLevelValue, gateLevelValue};
        const bool independentGate = params.IndependentGate.get() != 0;
        const bool multiband = pairs_[0].first < kMultibandCount;
        const bool expanderOn = multiband && params.ExpanderOn.get();
        const bool compressorOn = !multiband || params.CompressorOn.get();
        const bool limiterOn = multiband && params.LimiterOn.get();
        const auto lanes = [&](size_t i, size_t p) {
            return Pair{levels[i][pairs_[p].first], levels[i][pairs_[p].second]};
        };

        // The expander's and the compressor's envelopes follow the levels alone, so they run
        // over the whole chunk first and leave the envelopes whose powers are their gains; the
        // powers are then taken together, and the limiter follows the gains.
        std::array<std::array<Pair, kChunkFrames>, N> expanderGain, compressorGain;
        if (expanderOn) {
            std::array<SectionLanes, N> expander = Sections<SectionLanes>(Expander);
            for (size_t i = 0; i < count; ++i) {
                for (size_t p = 0; p < N; ++p) {
                    FollowWithHold(expander[p], lanes(i, p));
                    // At or above the threshold the gain is 1.
                    const Pair threshold = expander[p].threshold;
                    expanderGain[p][i] = expander[p].envelope < threshold ? expander[p].envelope : threshold;
                }
            }
            for (size_t p = 0; p < N; ++p)
                RaiseToPower(std::span(expanderGain[p]).first(count), expander[p].threshold, expander[p].exponent);
            Store(expander, Expander);
        } else {
            for (auto& g : expanderGain)
                std::fill_n(g.begin(), count, kOnes);
        }

        if (compressorOn) {
            std::array<CompressorLanes, N> compressor = Sections<CompressorLanes>(Compressor);
            for (size_t i = 0; i < count; ++i) {
                for (size_t p = 0; p < N; ++p) {
                    const Pair x = lanes(i, p);
                    const Mask bandGated = independentGate ? x < gateLevel : Both(gated[i]);
                    compressorGain[p][i] = compressor[p].Follow(x, gateLevel, bandGated);
                }
            }
            for (size_t p = 0; p < N; ++p) {
                const CompressorLanes& c = compressor[p];
                RaiseToPower(std::span(compressorGain[p]).first(count), c.threshold, c.exponent);
                const Pair slowGain = Power(c.slow / c.threshold, c.exponent);
                computer_.SlowGain[pairs_[p].second].set(slowGain[1]);
                computer_.SlowGain[pairs_[p].first].set(slowGain[0]);
                computer_.SlowEnvelope[pairs_[p].second] = c.slow[1];
                computer_.SlowEnvelope[pairs_[p].first] = c.slow[0];
            }
            Store(compressor, Compressor);
        } else {
            for (auto& g : compressorGain)
                std::fill_n(g.begin(), count, kOnes);
        }

        // The limiter's envelope always follows, so switching it on limits at once.
        std::array<SectionLanes, N> limiter = Sections<SectionLanes>(Limiter);
        std::array<Mask, N> mute;
        bool anyMuted = false;
        for (size_t p = 0; p < N; ++p) {
            const auto muted = [&](int band) { return -int64_t{!multiband && settings.BandMute[band].get() != 0}; };
            mute[p] = Mask{muted(pairs_[p].first), muted(pairs_[p].second)};
            anyMuted = anyMuted || (mute[p][0] | mute[p][1]) != 0;
        }
        std::array<Pair, N> gain{}, limiterGain{};
        for (size_t i = 0; i < count; ++i) {
            for (size_t p = 0; p < N; ++p) {
                SectionLanes& l = limiter[p];
                gain[p] = expanderGain[p][i] * compressorGain[p][i];
                FollowWithHold(l, lanes(i, p) * gain[p]);
                limiterGain[p] = kOnes;
                if (limiterOn)
                    limiterGain[p] = l.envelope > l.threshold ? l.threshold / l.envelope : kOnes;
                gain[p] = gain[p] * limiterGain[p];
                if (anyMuted)
                    gain[p] = mute[p] ? Pair{0.000001, 0.000001} : gain[p];
                gains[i][pairs_[p].second] = gain[p][1];
                gains[i][pairs_[p].first] = gain[p][0];
            }
        }
        Store(limiter, Limiter);

        // Meter values, as the last frame leaves them.
        const size_t lastFrame = count - 1;
        for (size_t p = 0; p < N; ++p) {
            for (int lane = 1; lane >= 0; --lane) {
                const int band = lane == 0 ? pairs_[p].first : pairs_[p].second;
                computer_.record(band, Expander).gain.set(expanderGain[p][lastFrame][lane]);
                computer_.record(band, Compressor).gain.set(compressorGain[p][lastFrame][lane]);
                computer_.record(band, Limiter).gain.set(limiterGain[p][lane]);
                computer_.BandGain[band].set(gain[p][lane]);
                computer_.BandLevel[band] = levels[lastFrame][band];
            }
        }
    }

private:
    template <typename Lanes>
    std::array<Lanes, N> Sections(int section)
    {
        return [&]<size_t... p>(std::index_sequence<p...>)
        {
            return std::array<Lanes, N>{Make<Lanes>(pairs_[p], section)...};
        }
        (std::make_index_sequence<N>());
    }

    template <typename Lanes>
    Lanes Make(BandPair bands, int section)
    {
        const SectionRecord& a = computer_.record(bands.first, section);
        const SectionRecord& b = computer_.record(bands.second, section);
        if constexpr (std::is_same_v<Lanes, CompressorLanes>)
            return Lanes(a, b, computer_.SlowEnvelope[bands.first], computer_.SlowEnvelope[bands.second]);
        else
            return Lanes(a, b);
    }

    template <typename Lanes>
    void Store(const std::array<Lanes, N>& lanes, int section)
    {
        for (size_t p = 0; p < N; ++p)
            lanes[p].Store(computer_.record(pairs_[p].first, section), computer_.record(pairs_[p].second, section));
    }

    BandGainComputer& computer_;
    std::array<BandPair, N> pairs_;
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

void BandGainComputer::ResetStates()
{
    for (auto& r : Records) {
        r.envelope = 0.0;
        r.holdCounter = 0;
    }
    for (auto& gain : BandGain)
        gain.set(0.0);
    SlowEnvelope.fill(0.0);
}

void BandGainComputer::Compute(int first, int last, std::span<const BandValues> levels, std::span<const bool> gated,
                               std::span<BandValues> gains, const GlobalParams& params,
                               const ProcessingSettings& settings)
{
    if (levels.empty())
        return;
    // The signal path computes the five multiband bands in three pairs, the dual-band bands in
    // one; other ranges (tests) go one pair at a time.
    if (first == 0 && last == kMultibandCount - 1) {
        PairedBands<3>(*this, first, last).Compute(levels, gated, gains, params, settings);
        return;
    }
    for (int b = first; b <= last; b += 2)
        PairedBands<1>(*this, b, std::min(b + 1, last)).Compute(levels, gated, gains, params, settings);
}

} // namespace qex::dsp
