#include "conversions.h"

namespace {

std::int64_t roundUpToBlock(std::int64_t bytes, const TWaveFormatEx& format)
{
    const std::int64_t block = format.BlockAlign;
    if (block <= 1)
        return bytes;
    const std::int64_t rest = bytes % block;
    return rest == 0 ? bytes : bytes + (block - rest);
}

} // namespace

std::int64_t mulDivRound(std::int64_t a, std::int64_t b, std::int64_t c)
{
    if (c == 0)
        return 0;
    const __int128 product = static_cast<__int128>(a) * b;
    const bool negative = (product < 0) != (c < 0);
    const __int128 num = product < 0 ? -product : product;
    const __int128 den = c < 0 ? -static_cast<__int128>(c) : c;
    const __int128 q = (num + den / 2) / den;
    return static_cast<std::int64_t>(negative ? -q : q);
}

std::int64_t bytesToSamples(std::int64_t bytes, const TWaveFormatEx& format)
{
    return mulDivRound(bytes, format.SamplesPerSec, format.AvgBytesPerSec);
}

std::int64_t bytesToMilliseconds(std::int64_t bytes, const TWaveFormatEx& format)
{
    return mulDivRound(bytes, 1000, format.AvgBytesPerSec);
}

std::int64_t samplesToBytes(std::int64_t samples, const TWaveFormatEx& format)
{
    return roundUpToBlock(mulDivRound(samples, format.AvgBytesPerSec, format.SamplesPerSec), format);
}

std::int64_t millisecondsToBytes(std::int64_t ms, const TWaveFormatEx& format)
{
    return roundUpToBlock(mulDivRound(ms, format.AvgBytesPerSec, 1000), format);
}
