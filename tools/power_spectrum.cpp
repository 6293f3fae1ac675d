#include "power_spectrum.h"

#include <cmath>
#include <numbers>

TPowerSpectrum::TPowerSpectrum(int size, double sampleRate)
    : size_(size), binHz_(sampleRate / size), window_(static_cast<std::size_t>(size)),
      power_(static_cast<std::size_t>(size / 2 + 1), 0.0), in_(fftw_alloc_real(static_cast<std::size_t>(size))),
      out_(fftw_alloc_complex(static_cast<std::size_t>(size / 2 + 1))),
      plan_(fftw_plan_dft_r2c_1d(size, in_, out_, FFTW_ESTIMATE))
{
    for (int i = 0; i < size; ++i)
        window_[static_cast<std::size_t>(i)] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / size);
}

TPowerSpectrum::~TPowerSpectrum()
{
    fftw_destroy_plan(plan_);
    fftw_free(out_);
    fftw_free(in_);
}

void TPowerSpectrum::Add(const double* frames, std::size_t count, int channels)
{
    const auto size = static_cast<std::size_t>(size_);
    const auto step = static_cast<std::size_t>(channels);
    for (std::size_t start = 0; start + size <= count; start += size / 2) {
        for (std::size_t channel = 0; channel < step; ++channel) {
            for (std::size_t i = 0; i < size; ++i)
                in_[i] = window_[i] * frames[(start + i) * step + channel] / 32768.0;
            fftw_execute(plan_);
            for (std::size_t bin = 0; bin < power_.size(); ++bin)
                power_[bin] += out_[bin][0] * out_[bin][0] + out_[bin][1] * out_[bin][1];
        }
        ++segments_;
    }
}

double TPowerSpectrum::BandPower(double fromHz, double toHz) const
{
    double sum = 0.0;
    for (std::size_t bin = 0; bin < power_.size(); ++bin) {
        const double hz = static_cast<double>(bin) * binHz_;
        if (hz >= fromHz && hz < toHz)
            sum += power_[bin];
    }
    return segments_ == 0 ? 0.0 : sum / static_cast<double>(segments_);
}

double TPowerSpectrum::MeanBinPower(double fromHz, double toHz) const
{
    const auto first = static_cast<std::size_t>(std::ceil(fromHz / binHz_));
    const auto end = static_cast<std::size_t>(std::ceil(toHz / binHz_));
    return end > first ? BandPower(fromHz, toHz) / static_cast<double>(end - first) : 0.0;
}
