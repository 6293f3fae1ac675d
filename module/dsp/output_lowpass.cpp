#include "output_lowpass.h"

#include "conversions.h"

#include <algorithm>

namespace qex::dsp {

namespace {

// The first half of the symmetric design; taps 14..26 mirror taps 12..0.
constexpr double kDesign[14] = {
    0.010443851108117, 0.029230915580903, 0.000291375276988, -0.016492602146844, 0.02311083773428,
    -0.01397163268782, -0.011480482254672, 0.040306057238649, -0.049260641238401, 0.017792297998132,
    0.057106811118356, -0.154471619427176, 0.23695134868792,  0.730754430256172,
};

} // namespace

void OutputLowpass::BuildTaps()
{
    for (int k = 0; k < kTaps; ++k)
        taps_[k] = static_cast<int32_t>(kDesign[k < 14 ? k : kTaps - 1 - k] * 7500);
}

double OutputLowpass::ProcessChannel(std::array<int32_t, kTaps>& history, double x) const
{
    std::copy_backward(history.begin(), history.end() - 1, history.end());
    history[0] = TruncateToInt32(x);
    // 64-bit sums: a clipper output of a few hundred thousand, possible with a high clip
    // threshold and pre-emphasis, would wrap a 32-bit sum into a full-scale spike.
    int64_t acc = 0;
    for (int k = 0; k < kTaps; ++k)
        acc += static_cast<int64_t>(taps_[k]) * history[k];
    return static_cast<double>(acc >> 13) * 0.8;
}

void OutputLowpass::Process(Frame& frame)
{
    frame.L = ProcessChannel(left_, frame.L);
    frame.R = ProcessChannel(right_, frame.R);
}

} // namespace qex::dsp
