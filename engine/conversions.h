#pragma once
// Byte, sample and millisecond conversions for positions and time limits. Each multiplies into
// a 64-bit intermediate and divides with rounding to the nearest integer.

#include "wave_format.h"

#include <cstdint>

// a × b / c rounded to the nearest integer (halves away from zero); 0 when c is 0.
std::int64_t mulDivRound(std::int64_t a, std::int64_t b, std::int64_t c);

std::int64_t bytesToSamples(std::int64_t bytes, const TWaveFormatEx& format);
std::int64_t bytesToMilliseconds(std::int64_t bytes, const TWaveFormatEx& format);
// These two round up to whole sample frames.
std::int64_t samplesToBytes(std::int64_t samples, const TWaveFormatEx& format);
std::int64_t millisecondsToBytes(std::int64_t ms, const TWaveFormatEx& format);
