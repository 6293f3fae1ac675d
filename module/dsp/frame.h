#pragma once
// One stereo sample frame as it passes from block to block: doubles in 16-bit sample units
// (32767 is digital full scale), never normalised.

namespace qex::dsp {

struct Frame {
    double L = 0.0;
    double R = 0.0;
};

} // namespace qex::dsp
