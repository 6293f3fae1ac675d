#include "output_lowpass.h"

namespace qex::dsp {

namespace {

// The first half of the symmetric design; taps 14..26 mirror taps 12..0.
constexpr double kDesign[14] = {
    0.010443851108117, 0.029230915580903,  0.000291375276988, -0.016492602146844, 0.02311083773428,
    -0.01397163268782, -0.011480482254672, 0.040306057238649, -0.049260641238401, 0.017792297998132,
    0.057106811118356, -0.154471619427176, 0.23695134868792,  0.730754430256172,
};

using Int32Pair = int32_t __attribute__((vector_size(8)));

// Each lane truncated toward zero to a 32-bit integer, saturating at the ends of the range, and
// 0 for a value that is not a number (as TruncateToInt32 does for one value).
Pair TruncateToInt32(Pair x)
{
    x = x != x ? 0.0 : x;
    x = x < -2147483648.0 ? -2147483648.0 : x;
    x = x > 2147483647.0 ? 2147483647.0 : x;
    return __builtin_convertvector(__builtin_convertvector(x, Int32Pair), Pair);
}

// An integer sum shifted right arithmetically by 13 bits: the quotient by 8192 rounded down.
// The quotient is exact, and adding and removing 1.5 · 2^52 rounds it to a whole number.
Pair ShiftRight13(Pair sum)
{
    constexpr double kRound = 6755399441055744.0;
    const Pair quotient = sum * (1.0 / 8192);
    const Pair rounded = (quotient + kRound) - kRound;
    return rounded > quotient ? rounded - 1.0 : rounded;
}

} // namespace

void OutputLowpass::BuildTaps()
{
    for (int k = 0; k < kTaps; ++k)
        taps_[k] = static_cast<int32_t>(kDesign[k < 14 ? k : kTaps - 1 - k] * 7500);
}

QEX_CHUNK_CODE
void OutputLowpass::Process(Frames frames)
{
    // Exact sums, as wide as 64-bit integer ones: a clipper output of a few hundred thousand,
    // possible with a high clip threshold and pre-emphasis, would wrap a 32-bit sum into a
    // full-scale spike.
    // The taps are symmetric, and exact sums can be taken in any order: pairs of inputs that
    // share a tap are added first, into two sums that the processor works on side by side.
    constexpr int kMiddle = kTaps / 2;
    std::array<double, kMiddle + 1> taps;
    for (int k = 0; k <= kMiddle; ++k)
        taps[k] = taps_[k];
    int newest = newest_;
    for (Frame& frame : frames) {
        newest = newest == 0 ? kTaps - 1 : newest - 1;
        history_[newest] = history_[newest + kTaps] = TruncateToInt32(ToPair(frame));
        const Pair* h = &history_[newest];
        Pair even = taps[kMiddle] * h[kMiddle], odd{};
        for (int k = 0; k < kMiddle; k += 2) {
            even += taps[k] * (h[k] + h[kTaps - 1 - k]);
            if (k + 1 < kMiddle)
                odd += taps[k + 1] * (h[k + 1] + h[kTaps - 2 - k]);
        }
        frame = ToFrame(ShiftRight13(even + odd) * 0.8);
    }
    newest_ = newest;
}

} // namespace qex::dsp
