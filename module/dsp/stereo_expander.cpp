#include "stereo_expander.h"

#include <cmath>

namespace qex::dsp {

void StereoExpander::ClearHistory()
{
    delay_.fill(0.0);
    allpass_.fill(0.0);
}

double StereoExpander::Process(Frame& frame, int delayLength, bool widen, int levelPct)
{
    const double d = delay_[delayIndex_];
    delay_[delayIndex_] = frame.R - frame.L;
    delayIndex_ = delayIndex_ < delayLength ? delayIndex_ + 1 : 0;

    if (widen) {
        // Schroeder allpass, gain 0.7, 256 samples: diffuses the delayed side signal.
        const unsigned j = allpassIndex_ % kAllpassLength;
        const double v = 0.7 * d + allpass_[j];
        allpass_[j] = d - 0.7 * v;
        ++allpassIndex_;

        const double magnitude = std::fabs(v);
        const double c = magnitude > envelope_ ? 0.999 : 0.99999;
        envelope_ = envelope_ * c + (1 - c) * magnitude;
        const double k = envelope_ > 4096 ? 4096 / envelope_ : 1.01;

        const double a = k * v * levelPct * 0.01;
        frame.R = frame.R + a;
        frame.L = frame.L - a;
    }
    return std::fabs(frame.R - frame.L);
}

} // namespace qex::dsp
