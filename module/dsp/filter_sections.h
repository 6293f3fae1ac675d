#pragma once
// The direct-form-II filter sections every block builds on. Each object is the state of both
// channels of one section, a Pair per delay; the coefficients are passed in and shared by the
// channels. Products and sums are evaluated in the written order: results are meant to be
// reproducible to the last bit, which is also why the module is built without fused multiply-add.
//
// Blocks run a chunk of frames through their sections from local copies, so that the states
// stay in registers instead of making a round trip through memory on every frame.

#include "frame.h"

namespace qex::dsp {

// First order. The +1.0 / −1.0 around the recursion keeps it away from denormal numbers; a
// section with no gain at DC therefore leaves −1.0 on its output.
struct FirstOrderSection {
    struct Coefficients {
        double c0, c1, c2;
    };

    Pair w1{};

    Pair process(const Coefficients& c, Pair x)
    {
        x = x + 1.0;
        const Pair w = x - c.c2 * w1;
        const Pair y = c.c1 * w + c.c0 * w1;
        w1 = w;
        return y - 1.0;
    }
};

// Second order, no offset.
struct Biquad {
    struct Coefficients {
        double b0, b1, b2, a1, a2;
    };

    Pair w1{};
    Pair w2{};

    Pair process(const Coefficients& c, Pair x)
    {
        const Pair w = x - c.a1 * w1 - c.a2 * w2;
        const Pair y = c.b0 * w + c.b1 * w1 + c.b2 * w2;
        w2 = w1;
        w1 = w;
        return y;
    }
};

// Fourth order, with the same denormal offset as the first-order section; the multiband filter
// bank uses the bare recursion.
struct FourthOrderSection {
    struct Coefficients {
        double b0, b1, b2, b3, b4;
        double a1, a2, a3, a4;
    };

    Pair w1{};
    Pair w2{};
    Pair w3{};
    Pair w4{};

    Pair process(const Coefficients& c, Pair x) { return processWithoutOffset(c, x + 1.0) - 1.0; }

    Pair processWithoutOffset(const Coefficients& c, Pair x)
    {
        const Pair w = x - c.a1 * w1 - c.a2 * w2 - c.a3 * w3 - c.a4 * w4;
        const Pair y = c.b0 * w + c.b1 * w1 + c.b2 * w2 + c.b3 * w3 + c.b4 * w4;
        w4 = w3;
        w3 = w2;
        w2 = w1;
        w1 = w;
        return y;
    }
};

} // namespace qex::dsp
