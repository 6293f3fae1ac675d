#pragma once
// The input stage: the anti-denormal offset, the 15 kHz input low-pass and the phase rotator.

#include "filter_sections.h"
#include "frame.h"

#include <array>
#include <cstdint>
#include <span>

namespace qex::dsp {

class InputStage {
public:
    static constexpr int kSineTableSize = 628;

    // Fills SineTable: entry i is sin(i × 0.01) × 32760, truncated.
    void BuildSineTable();

    // Adds each frame's offset, a 70.3 Hz sine of 0.03276 peak (far below one LSB) that keeps
    // every recursion away from denormal numbers, and keeps it in offsets, one per frame.
    void AddDenormOffset(Frames frames, std::span<double> offsets);

    void Lowpass15k(Frames frames);

    // Three allpass-like sections per channel that make peaky voice waveforms more symmetric.
    void RotatePhase(Frames frames);

    const std::array<int32_t, kSineTableSize>& SineTable() const { return sineTable_; }

private:
    std::array<int32_t, kSineTableSize> sineTable_{};
    int offsetIndex_ = 0;
    FourthOrderSection lowpass_;
    std::array<Pair, 3> rotator_{};
};

} // namespace qex::dsp
