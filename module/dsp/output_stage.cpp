#include "output_stage.h"

#include "soft_clip.h"

namespace qex::dsp {

QEX_CHUNK_CODE
void OutputStage::Process(Frames frames, bool clip, bool bypassAll, int outLevelPct, bool amFilter)
{
    if (clip)
        for (Frame& frame : frames)
            frame = ToFrame(SoftClip(ToPair(frame), kSafetyClipLevel));
    if (bypassAll)
        return;
    for (Frame& frame : frames)
        frame = ToFrame(ToPair(frame) * outLevelPct * 0.01);
    if (amFilter)
        amFilter_.Process(frames);
}

} // namespace qex::dsp
