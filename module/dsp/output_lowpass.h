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

    void Process(Frame& frame);

    const std::array<int32_t, kTaps>& Taps() const { return taps_; }

private:
    double ProcessChannel(std::array<int32_t, kTaps>& history, double x) const;

    std::array<int32_t, kTaps> taps_{};
    std::array<int32_t, kTaps> left_{}, right_{};
};

} // namespace qex::dsp
