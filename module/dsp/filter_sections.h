#pragma once
// The direct-form-II filter sections every block builds on. Each object is the state of one
// channel; the coefficients are passed in, so both channels of a block share one set.
// Products and sums are evaluated in the written order: results are meant to be reproducible
// to the last bit, which is also why the module is built without fused multiply-add.

namespace qex::dsp {

// First order. The +1.0 / −1.0 around the recursion keeps it away from denormal numbers; a
// section with no gain at DC therefore leaves −1.0 on its output.
struct FirstOrderSection {
    struct Coefficients {
        double c0, c1, c2;
    };

    double w1 = 0.0;

    double process(const Coefficients& c, double x)
    {
        x = x + 1.0;
        const double w = x - c.c2 * w1;
        const double y = c.c1 * w + c.c0 * w1;
        w1 = w;
        return y - 1.0;
    }
};

// Second order, no offset.
struct Biquad {
    struct Coefficients {
        double b0, b1, b2, a1, a2;
    };

    double w1 = 0.0;
    double w2 = 0.0;

    double process(const Coefficients& c, double x)
    {
        const double w = x - c.a1 * w1 - c.a2 * w2;
        const double y = c.b0 * w + c.b1 * w1 + c.b2 * w2;
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

    double w1 = 0.0;
    double w2 = 0.0;
    double w3 = 0.0;
    double w4 = 0.0;

    double process(const Coefficients& c, double x) { return processWithoutOffset(c, x + 1.0) - 1.0; }

    double processWithoutOffset(const Coefficients& c, double x)
    {
        const double w = x - c.a1 * w1 - c.a2 * w2 - c.a3 * w3 - c.a4 * w4;
        const double y = c.b0 * w + c.b1 * w1 + c.b2 * w2 + c.b3 * w3 + c.b4 * w4;
        w4 = w3;
        w3 = w2;
        w2 = w1;
        w1 = w;
        return y;
    }
};

} // namespace qex::dsp
