#include "stereo_expander.h"

#include <algorithm>
#include <cmath>

namespace qex::dsp {

void StereoExpander::ClearHistory()
{
    delay_.fill(0.0);
    allpass_.fill(0.0);
}

QEX_CHUNK_CODE
double StereoExpander::Process(Frames frames, int delayLength, bool widen, int levelPct)
{
    int delayIndex = delayIndex_;
    unsigned allpassIndex = allpassIndex_;
    double envelope = envelope_;
    double imagePeak = 0.0;
    for (Frame& frame : frames) {
        const double d = delay_[delayIndex];
        delay_[delayIndex] = frame.R - frame.L;
        delayIndex = delayIndex < delayLength ? delayIndex + 1 : 0;

        if (widen) {
            // Schroeder allpass, gain 0.7, 256 samples: diffuses the delayed side signal.
            const unsigned j = allpassIndex % kAllpassLength;
            const double v = 0.7 * d + allpass_[j];
            allpass_[j] = d - 0.7 * v;
            ++allpassIndex;

            const double magnitude = std::fabs(v);
            const double c = magnitude > envelope ? 0.999 : 0.99999;
            envelope = envelope * c + (1 - c) * magnitude;
            const double k = envelope > 4096 ? 4096 / envelope : 1.01;

            const double a = k * v * levelPct * 0.01;
            frame.R = frame.R + a;
            frame.L = frame.L - a;
        }
        imagePeak = std::max(imagePeak, std::fabs(frame.R - frame.L));
    }
    delayIndex_ = delayIndex;
    allpassIndex_ = allpassIndex;
    envelope_ = envelope;
    return imagePeak;
}

} // namespace qex::dsp
