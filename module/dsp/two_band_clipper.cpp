#include "two_band_clipper.h"

#include "soft_clip.h"

namespace qex::dsp {

namespace {

// Fourth-order Butterworth pair, −3 dB at about 2007 Hz.
constexpr FourthOrderSection::Coefficients kLowpass = {
    0.000291365792212, 0.001165463168848, 0.001748194753272,  0.001165463168848, 0.000291365792212,
    -3.2565693109588,  4.033768392721257, -2.246043682026216, 0.473506452939152,
};
constexpr FourthOrderSection::Coefficients kHighpass = {
    0.688117989915339, -2.752471959661357, 4.128707939492035,  -2.752471959661357, 0.688117989915339,
    -3.2565693109588,  4.033768392721258,  -2.246043682026217, 0.473506452939152,
};

} // namespace

QEX_CHUNK_CODE
void TwoBandClipper::Process(Frames frames, bool clip, int32_t lowClipLevel, int32_t highClipLevel)
{
    Sections s = sections_;
    for (Frame& frame : frames) {
        const Pair x = ToPair(frame);
        Pair low = s.lowBefore.process(kLowpass, x);
        Pair high = s.highBefore.process(kHighpass, x);
        if (clip) {
            low = SoftClip(low, lowClipLevel);
            high = SoftClip(high, highClipLevel);
        }
        low = s.lowAfter.process(kLowpass, low);
        high = s.highAfter.process(kHighpass, high);
        frame = ToFrame(low + high);
    }
    sections_ = s;
}

} // namespace qex::dsp
