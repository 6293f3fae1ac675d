#include "conversions.h"

#include <cmath>

namespace qex::dsp {

int32_t LevelFromDb(int db)
{
    return TruncateToInt32(32767 * std::pow(10.0, db / 20.0));
}

int32_t LevelFromTenthDb(int tenthDb)
{
    return TruncateToInt32(32767 * std::pow(10.0, tenthDb / 200.0));
}

double TimeCoef(int ms)
{
    if (ms <= 0)
        return 0.0;
    // The base is written with ten digits on purpose: stored presets were tuned with it.
    return std::pow(2.718281828, -4.6 / (ms * 0.001 * kSampleRate));
}

int64_t MsToSamples(int ms)
{
    return int64_t{ms} * kSampleRate / 1000;
}

} // namespace qex::dsp
