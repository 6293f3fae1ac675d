#include "bass_equaliser.h"

#include <algorithm>
#include <cmath>

namespace qex::dsp {

namespace {

// Half the angle of 50 Hz at 44 100 Hz: the peaking filter's bandwidth.
constexpr double kPeakingHalfBandwidth = 0.0035618964325396826;

// The first N sections in cascade. Their count is fixed at compile time so that the states
// stay in registers over the chunk.
template <size_t N>
void Cascade(std::array<Biquad, 4>& states, const Biquad::Coefficients& c, Frames frames)
{
    std::array<Biquad, N> sections;
    std::copy_n(states.begin(), N, sections.begin());
    for (Frame& frame : frames) {
        Pair x = ToPair(frame);
        for (Biquad& section : sections)
            x = section.process(c, x);
        frame = ToFrame(x);
    }
    std::copy_n(sections.begin(), N, states.begin());
}

} // namespace

void BassEqualiser::Design(int boostDb, int frequencyHz, bool shelving, bool highQ)
{
    const int g = highQ ? boostDb / 3 : boostDb;
    const double w = frequencyHz * 6.283185307 * 0.000022675736961451248;
    const double G = std::pow(10, g * 0.05);
    const double GB = 0.892 * G; // about 0.99 dB below G: where bandwidth and corner are defined

    if (shelving != designedShelving_) {
        designedShelving_ = shelving;
        section1Clears_.set(section1Clears_.get() + 1);
    }

    if (g <= 0) {
        b0_.set(1.0);
        b1_.set(0.0);
        b2_.set(0.0);
        a1_.set(0.0);
        a2_.set(0.0);
        return;
    }

    const double delta = shelving ? w / 2 : kPeakingHalfBandwidth;
    const double beta = std::tan(delta) * std::sqrt((GB * GB - 1) / (G * G - GB * GB));
    b0_.set((1 + G * beta) / (1 + beta));
    if (shelving) {
        b1_.set(-(1 - G * beta) / (1 + beta));
        b2_.set(0.0);
        a1_.set(-(1 - beta) / (1 + beta));
        a2_.set(0.0);
    } else {
        const double a1 = -2 * std::cos(w) / (1 + beta);
        b1_.set(a1);
        b2_.set((1 - G * beta) / (1 + beta));
        a1_.set(a1);
        a2_.set((1 - beta) / (1 + beta));
    }
}

Biquad::Coefficients BassEqualiser::Coefficients() const
{
    return {b0_.get(), b1_.get(), b2_.get(), a1_.get(), a2_.get()};
}

QEX_CHUNK_CODE
void BassEqualiser::Process(Frames frames, bool highQ)
{
    if (const uint32_t clears = section1Clears_.get(); clears != section1ClearsDone_) {
        section1ClearsDone_ = clears;
        sections_[0] = {};
    }
    const Biquad::Coefficients c = Coefficients();
    if (highQ)
        Cascade<4>(sections_, c, frames);
    else
        Cascade<1>(sections_, c, frames);
}

} // namespace qex::dsp
