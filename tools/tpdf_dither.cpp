#include "tpdf_dither.h"

#include <algorithm>
#include <cmath>

void TTpdfDither::Reduce(const float* in, std::int16_t* out, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        const double noise = uniform_(random_) - uniform_(random_);
        const double step = std::nearbyint(static_cast<double>(in[i]) * 32768.0 + noise);
        // A damaged float file may hold NaN: silence rather than an undefined conversion.
        out[i] = std::isnan(step) ? 0 : static_cast<std::int16_t>(std::clamp(step, -32768.0, 32767.0));
    }
}
