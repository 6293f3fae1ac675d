#pragma once
// The soft clipper shared by the AGC's bass band, the clipper and the output's safety clip.

#include "frame.h"

#include <cstdint>

namespace qex::dsp {

// Width of the soft knee above the threshold: the output approaches threshold + ClipKnee.
inline constexpr int32_t ClipKnee = static_cast<int32_t>(205.4 * 4 + 663.4 * 2);
static_assert(ClipKnee == 2148);

// Passes |x| ≤ threshold unchanged; above it bends the excess e to e·ClipKnee / (ClipKnee + e),
// continuous with slope 1 at the threshold. Works on both channels of a frame at once: when
// either lane lies beyond the threshold both are bent, and a lane within it then keeps its
// value, which costs less than a branch per lane that the processor cannot predict.
inline Pair SoftClip(Pair x, int32_t threshold)
{
    const double t = threshold;
    const double knee = ClipKnee;
    const Pair magnitude = x < 0 ? -x : x;
    const Mask beyond = magnitude > t;
    if ((beyond[0] | beyond[1]) == 0)
        return x;
    const Pair e = magnitude - t;
    const Pair y = t + e * knee / (knee + e);
    return beyond ? (x < 0 ? -y : y) : x;
}

} // namespace qex::dsp
