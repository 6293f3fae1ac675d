#pragma once
// Level and time conversions from the operator's units. All of them assume 44 100 Hz, whatever
// rate the stream runs at: coefficients are computed once for that rate.

#include <algorithm>
#include <cstdint>

namespace qex::dsp {

inline constexpr int kSampleRate = 44100;

// 32767 × 10^(dB/20), truncated: a level in 16-bit sample units. Levels beyond the 32-bit
// range, which only a hand-edited preset can ask for, stop at its end.
int32_t LevelFromDb(int db);
// 32767 × 10^(tenths/200), truncated, within the 32-bit range like LevelFromDb.
int32_t LevelFromTenthDb(int tenthDb);
// Factor c of the one-pole follower y = c·y + (1 − c)·x that closes 99 % of a step in ms
// milliseconds; 0 for 0 ms. A time cannot be negative: a negative one, which only a hand-edited
// preset can hold, counts as 0 ms instead of giving a factor above 1 that would make the
// follower grow without bound.
double TimeCoef(int ms);
// Whole samples in ms milliseconds, truncated, worked out in 64 bits so that any time a preset
// can hold converts without overflow.
int64_t MsToSamples(int ms);

// A value truncated toward zero to a 32-bit integer, saturating at the ends of the range. Not a
// number, which only a fault upstream could produce, gives 0 instead of an undefined conversion.
inline int32_t TruncateToInt32(double value)
{
    if (value != value)
        return 0;
    return static_cast<int32_t>(std::clamp(value, -2147483648.0, 2147483647.0));
}

// A processed value as an output sample: clamped to ±32760 and truncated toward zero, and
// silence for a value that is not a number.
inline int16_t ToOutputSample(double value)
{
    if (value != value)
        return 0;
    return static_cast<int16_t>(std::clamp(value, -32760.0, 32760.0));
}

} // namespace qex::dsp
