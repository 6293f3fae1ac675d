#pragma once
// The averaged power spectrum of a stereo or mono signal (Welch's method with FFTW): Hann-windowed
// segments overlapping by half, the power of both channels added, averaged over all segments.

#include <fftw3.h>

#include <cstddef>
#include <vector>

class TPowerSpectrum {
public:
    explicit TPowerSpectrum(int size, double sampleRate);
    ~TPowerSpectrum();
    TPowerSpectrum(const TPowerSpectrum&) = delete;
    TPowerSpectrum& operator=(const TPowerSpectrum&) = delete;

    // Adds every whole segment of the interleaved frames, in 16-bit steps (full scale 32768).
    void Add(const double* frames, std::size_t count, int channels);

    // Summed power of the bins whose centres lie in [fromHz, toHz), and their mean.
    double BandPower(double fromHz, double toHz) const;
    double MeanBinPower(double fromHz, double toHz) const;

private:
    int size_;
    double binHz_;
    std::vector<double> window_;
    std::vector<double> power_;
    std::size_t segments_ = 0;
    double* in_;
    fftw_complex* out_;
    fftw_plan plan_;
};
