#include "input_stage.h"

#include <cmath>

namespace qex::dsp {

namespace {

constexpr FourthOrderSection::Coefficients kLowpass15k = {
    0.38505152569118,  1.139343430242298, 1.588846205657192, 1.139343430242298, 0.385051525691179,
    1.461351975986644, 1.694601955247288, 0.739004757786975, 0.308554619178498,
};

} // namespace

void InputStage::BuildSineTable()
{
    for (int i = 0; i < kSineTableSize; ++i)
        sineTable_[i] = static_cast<int32_t>(std::sin(i * 0.01) * 32760);
}

QEX_CHUNK_CODE
void InputStage::AddDenormOffset(Frames frames, std::span<double> offsets)
{
    for (size_t i = 0; i < frames.size(); ++i) {
        if (offsetIndex_ >= kSineTableSize - 1)
            offsetIndex_ = 0;
        const double offset = sineTable_[offsetIndex_ + 1] * 0.000001;
        ++offsetIndex_;
        frames[i] = ToFrame(ToPair(frames[i]) + offset);
        offsets[i] = offset;
    }
}

QEX_CHUNK_CODE
void InputStage::Lowpass15k(Frames frames)
{
    FourthOrderSection lowpass = lowpass_;
    for (Frame& frame : frames)
        frame = ToFrame(lowpass.process(kLowpass15k, ToPair(frame)));
    lowpass_ = lowpass;
}

QEX_CHUNK_CODE
void InputStage::RotatePhase(Frames frames)
{
    std::array<Pair, 3> states = rotator_;
    for (Frame& frame : frames) {
        Pair x = ToPair(frame);
        for (Pair& s : states) {
            s = 0.05 * x + 0.95 * s;
            x = 2 * s - x;
        }
        frame = ToFrame(x + 1.0);
    }
    rotator_ = states;
}

} // namespace qex::dsp
