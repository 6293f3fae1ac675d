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

double Emphasise(const EmphasisCoefficients& c, double& w1, double x)
{
    const double w = x - c.feedback * w1;
    const double y = c.gain * w - c.previous * w1;
    w1 = w;
    return y;
}

double DeEmphasise(double& w1, double x)
{
    const double w = x + 0.6376129 * w1;
    w1 = w;
    return 0.3571197 * w;
}

} // namespace

void PreEmphasis::Process(Frame& frame, bool use75us)
{
    const EmphasisCoefficients& c = use75us ? k75us : k50us;
    frame.L = Emphasise(c, left_, frame.L);
    frame.R = Emphasise(c, right_, frame.R);
}

void DeEmphasis::Process(Frame& frame)
{
    frame.L = DeEmphasise(left_, frame.L);
    frame.R = DeEmphasise(right_, frame.R);
}

} // namespace qex::dsp
