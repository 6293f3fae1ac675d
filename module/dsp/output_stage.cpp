#include "output_stage.h"

#include "soft_clip.h"

namespace qex::dsp {

void OutputStage::Process(Frame& frame, bool clip, bool bypassAll, int outLevelPct, bool amFilter)
{
    if (clip) {
        frame.L = SoftClip(frame.L, kSafetyClipLevel);
        frame.R = SoftClip(frame.R, kSafetyClipLevel);
    }
    if (bypassAll)
        return;
    frame.L = frame.L * outLevelPct * 0.01;
    frame.R = frame.R * outLevelPct * 0.01;
    if (amFilter)
        amFilter_.Process(frame);
}

} // namespace qex::dsp
