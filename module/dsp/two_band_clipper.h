#pragma once
// The two-band soft clipper: splits at about 2 kHz with a fourth-order Butterworth pair, clips
// each band and filters it again with the same filter, so that the clipping products of each
// band stay in that band. Filtered twice and summed, the split is flat.

#include "filter_sections.h"
#include "frame.h"

#include <cstdint>

namespace qex::dsp {

class TwoBandClipper {
public:
    // clip: whether to clip at all (the split, the second filtering and the sum always run).
    void Process(Frames frames, bool clip, int32_t lowClipLevel, int32_t highClipLevel);

private:
    struct Sections {
        FourthOrderSection lowBefore, highBefore, lowAfter, highAfter;
    };

    Sections sections_;
};

} // namespace qex::dsp
