#include "input_stage.h"

#include <cmath>

namespace qex::dsp {

namespace {

constexpr FourthOrderSection::Coefficients kLowpass15k = {
    0.38505152569118,  1.139343430242298, 1.588846205657192, 1.139343430242298, 0.385051525691179,
    1.461351975986644, 1.694601955247288, 0.739004757786975, 0.308554619178498,
};

double Rotate(std::array<double, 3>& states, double x)
{
    for (double& s : states) {
        s = 0.05 * x + 0.95 * s;
        x = 2 * s - x;
    }
    return x + 1.0;
}

} // namespace

void InputStage::BuildSineTable()
{
    for (int i = 0; i < kSineTableSize; ++i)
        sineTable_[i] = static_cast<int32_t>(std::sin(i * 0.01) * 32760);
}

double InputStage::AddDenormOffset(Frame& frame)
{
    if (offsetIndex_ >= kSineTableSize - 1)
        offsetIndex_ = 0;
    const double offset = sineTable_[offsetIndex_ + 1] * 0.000001;
    ++offsetIndex_;
    frame.L += offset;
    frame.R += offset;
    return offset;
}

void InputStage::Lowpass15k(Frame& frame)
{
    frame.L = lowpassL_.process(kLowpass15k, frame.L);
    frame.R = lowpassR_.process(kLowpass15k, frame.R);
}

void InputStage::RotatePhase(Frame& frame)
{
    frame.L = Rotate(rotatorL_, frame.L);
    frame.R = Rotate(rotatorR_, frame.R);
}

} // namespace qex::dsp
