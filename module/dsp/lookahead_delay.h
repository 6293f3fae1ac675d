#pragma once
// The look-ahead delay line shared by the multiband processor and the dual-band stage: rows of
// one cell per band, each holding the band's left and right values, and one index that the
// multiband processor advances.

#include "frame.h"

#include <array>

namespace qex::dsp {

class LookaheadDelay {
public:
    static constexpr int kRows = 5000; // the panel's longest look-ahead is 4410 samples
    // Bands 0..4 of the multiband processor, then "HF" and "LF" of the dual-band stage.
    static constexpr int kCells = 7;

    using Row = std::array<Pair, kCells>;

    // Moves to the next row: the index runs from 0 to length and starts again.
    void Advance(int length) { index_ = index_ < length ? index_ + 1 : 0; }

    // The row of the current frame.
    int Index() const { return index_; }

    // Takes a band's values out of a row and puts others in their place.
    Pair Exchange(int row, int band, Pair value)
    {
        Pair& cell = rows_[row][band];
        const Pair out = cell;
        cell = value;
        return out;
    }

private:
    std::array<Row, kRows> rows_{};
    int index_ = 0;
};

} // namespace qex::dsp
