#pragma once
// The soft clipper shared by the AGC's bass band, the clipper and the output's safety clip.

#include <cstdint>

namespace qex::dsp {

// Width of the soft knee above the threshold: the output approaches threshold + ClipKnee.
inline constexpr int32_t ClipKnee = static_cast<int32_t>(205.4 * 4 + 663.4 * 2);
static_assert(ClipKnee == 2148);

// Passes |x| ≤ threshold unchanged; above it bends the excess e to e·ClipKnee / (ClipKnee + e),
// continuous with slope 1 at the threshold.
inline double SoftClip(double x, int32_t threshold)
{
    const double magnitude = x < 0 ? -x : x;
    if (magnitude > threshold) {
        const double e = magnitude - threshold;
        const double y = threshold + e * ClipKnee / (ClipKnee + e);
        return x < 0 ? -y : y;
    }
    return x;
}

} // namespace qex::dsp
