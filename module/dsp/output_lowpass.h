#pragma once
// The output low-pass for a pre-emphasised output: a 27-tap integer FIR that is flat to 15 kHz
// within a few dB and puts a deep notch at the 19 kHz stereo pilot.

#include "frame.h"

#include <array>
#include <cstdint>

namespace qex::dsp {

class OutputLowpass {
public:
    static constexpr int kTaps = 27;

    // Computes the integer taps from the design table.
    void BuildTaps();

    void Process(Frames frames);

    const std::array<int32_t, kTaps>& Taps() const { return taps_; }

private:
    std::array<int32_t, kTaps> taps_{};
    // The last kTaps inputs of both channels, truncated to 32-bit integers but held as doubles:
    // every product with a tap and every partial sum is an integer far below 2^53, so double
    // arithmetic gives exactly the integer sums. Each input is stored twice, kTaps apart, so
    // that the newest kTaps inputs always lie side by side from newest_ on.
    std::array<Pair, 2 * kTaps> history_{};
    int newest_ = 0;
};

} // namespace qex::dsp
