#pragma once
// Level and time conversions from the operator's units. All of them assume 44 100 Hz, whatever
// rate the stream runs at: coefficients are computed once for that rate.

#include <cstdint>

namespace qex::dsp {

inline constexpr int kSampleRate = 44100;

// 32767 × 10^(dB/20), truncated: a level in 16-bit sample units.
int32_t LevelFromDb(int db);
// 32767 × 10^(tenths/200), truncated.
int32_t LevelFromTenthDb(int tenthDb);
// Factor c of the one-pole follower y = c·y + (1 − c)·x that closes 99 % of a step in ms
// milliseconds; 0 for 0 ms.
double TimeCoef(int ms);
// Whole samples in ms milliseconds, truncated.
int32_t MsToSamples(int ms);

} // namespace qex::dsp
