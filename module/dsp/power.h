#pragma once
// The power function of the band gain computer's gain laws, for two values at once.

#include "frame.h"

#include <cmath>

namespace qex::dsp {

// base ^ exponent in each lane; exactly 1 where the base is 1 or the exponent is 0.
inline Pair Power(Pair base, Pair exponent)
{
    Pair result;
    for (int lane = 0; lane < 2; ++lane)
        result[lane] = base[lane] == 1.0 ? 1.0 : std::pow(base[lane], exponent[lane]);
    return result;
}

} // namespace qex::dsp
