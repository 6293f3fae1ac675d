#pragma once
// The look-ahead delay line shared by the multiband processor and the dual-band stage: rows of
// 14 values, one per band and channel, and one index that the multiband processor advances.

#include <array>

namespace qex::dsp {

class LookaheadDelay {
public:
    static constexpr int kRows = 5000; // the longest look-ahead is 4410 samples
    static constexpr int kColumns = 14;
    // Column of a band's right channel (bands 0..4 multiband, 5 "HF", 6 "LF"); left is + 7.
    static constexpr int RightColumn(int band) { return band; }
    static constexpr int LeftColumn(int band) { return band + 7; }

    using Row = std::array<double, kColumns>;

    // Moves to the next row: the index runs from 0 to length and starts again.
    void Advance(int length) { index_ = index_ < length ? index_ + 1 : 0; }

    // The row of the current frame.
    int Index() const { return index_; }

    // Takes the value out of a cell and puts another in its place.
    double Exchange(int row, int column, double value)
    {
        double& cell = rows_[row][column];
        const double out = cell;
        cell = value;
        return out;
    }

private:
    std::array<Row, kRows> rows_{};
    int index_ = 0;
};

} // namespace qex::dsp
