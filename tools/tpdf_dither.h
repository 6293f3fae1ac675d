#pragma once
// Reduction of samples wider than 16 bits to 16 bits with TPDF dither: triangular noise of
// +-1 step added before rounding, so that the error is noise independent of the signal rather
// than distortion. The noise comes from a fixed seed: the same file always renders the same.

#include <cstddef>
#include <cstdint>
#include <random>

class TTpdfDither {
public:
    // Floats with full scale at +-1 (32768 steps); results beyond 16 bits are clamped.
    void Reduce(const float* in, std::int16_t* out, std::size_t count);

private:
    std::mt19937 random_{0x51E5u};
    std::uniform_real_distribution<double> uniform_{0.0, 1.0};
};
