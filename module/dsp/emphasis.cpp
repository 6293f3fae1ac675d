#include "emphasis.h"

namespace qex::dsp {

namespace {

struct EmphasisCoefficients {
    double feedback, gain, previous;
};

// Gain 0.998 at DC, +19.7 dB at half the sample rate.
constexpr EmphasisCoefficients k75us = {0.2263622, 4.3649866, 3.1416206};
// Gain 1.016 at DC, +16.1 dB at half the sample rate.
constexpr EmphasisCoefficients k50us = {0.1321823, 3.3494133, 2.1991812};

} // namespace

QEX_CHUNK_CODE
void PreEmphasis::Process(Frames frames, bool use75us)
{
    const EmphasisCoefficients c = use75us ? k75us : k50us;
    Pair w1 = state_;
    for (Frame& frame : frames) {
        const Pair w = ToPair(frame) - c.feedback * w1;
        frame = ToFrame(c.gain * w - c.previous * w1);
        w1 = w;
    }
    state_ = w1;
}

QEX_CHUNK_CODE
void DeEmphasis::Process(Frames frames)
{
    Pair w1 = state_;
    for (Frame& frame : frames) {
        w1 = ToPair(frame) + 0.6376129 * w1;
        frame = ToFrame(0.3571197 * w1);
    }
    state_ = w1;
}

} // namespace qex::dsp
