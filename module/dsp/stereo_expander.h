#pragma once
// The stereo expander: widens the image by adding a delayed, diffused copy of the side signal
// in opposite polarity to the two channels, its envelope held near 4096 at most.

#include "frame.h"

#include <array>

namespace qex::dsp {

class StereoExpander {
public:
    static constexpr int kDelayCapacity = 890; // room for the 883 slots of the 20 ms setting
    static constexpr int kAllpassLength = 256;

    void ClearHistory();

    // delayLength: the stereo delay length in samples (0..882). The side delay line always
    // runs; the image is only changed when widen is set (expander on and not bypassed).
    // Returns the largest |R − L| of the frames after the expander, for the image meter.
    double Process(Frames frames, int delayLength, bool widen, int levelPct);

private:
    std::array<double, kDelayCapacity> delay_{};
    int delayIndex_ = 0;
    std::array<double, kAllpassLength> allpass_{};
    unsigned allpassIndex_ = 0;
    double envelope_ = 0.0;
};

} // namespace qex::dsp
