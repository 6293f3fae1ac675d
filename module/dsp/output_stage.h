#pragma once
// The output stage: the safety soft clip, the output level and the AM filter.

#include "am_filter.h"
#include "frame.h"

#include <cstdint>

namespace qex::dsp {

class OutputStage {
public:
    static constexpr int32_t kSafetyClipLevel = 32760;

    void Process(Frames frames, bool clip, bool bypassAll, int outLevelPct, bool amFilter);

private:
    AmFilter amFilter_;
};

} // namespace qex::dsp
