#pragma once
// Pre-emphasis in front of the multiband processor, and the 50 µs de-emphasis that returns a
// flat output after the clipper.

#include "frame.h"

namespace qex::dsp {

class PreEmphasis {
public:
    // 75 µs when selected and switched on; 50 µs otherwise, also while pre-emphasis is off, so
    // that the de-emphasis then restores a flat response. Both share one state.
    void Process(Frames frames, bool use75us);

private:
    Pair state_{};
};

class DeEmphasis {
public:
    void Process(Frames frames);

private:
    Pair state_{};
};

} // namespace qex::dsp
