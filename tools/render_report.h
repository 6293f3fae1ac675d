#pragma once
// What a render did to the programme: integrated loudness, loudness range and true peak of the
// input as the file holds it and of the output as written, and the share of output samples at
// the clip level. Printed as a table for the operator or as one JSON object for scripts.

#include "clip_level.h"
#include "loudness.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

struct TLoudnessFigures {
    std::optional<double> IntegratedLufs;
    std::optional<double> RangeLu;
    std::optional<double> TruePeakDbtp;
};

class TRenderReport {
public:
    TRenderReport(int inputChannels, long inputRate, int outputChannels, long outputRate);

    // Fed with the input as it is decoded.
    TLoudness& Input() { return input_; }
    // Measures written output frames and counts their samples at the clip level.
    void AddOutput(const std::int16_t* frames, std::size_t count);

    TLoudnessFigures InputFigures() { return figuresOf(input_); }
    TLoudnessFigures OutputFigures() { return figuresOf(output_); }
    // Output samples at the clip level, as a share of all output samples (0 without any).
    double ClippedShare() const;

    std::string Table();
    std::string Json();

private:
    static TLoudnessFigures figuresOf(TLoudness& loudness);

    TLoudness input_;
    TLoudness output_;
    std::uint64_t samples_ = 0;
    std::uint64_t clipped_ = 0;
};
