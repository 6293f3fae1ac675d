#include "loudness.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <stdexcept>

namespace {

// BS.1770's absolute gate: anything quieter is not programme.
constexpr double kAbsoluteGateLufs = -70.0;

std::optional<double> gated(int error, double lufs)
{
    if (error != EBUR128_SUCCESS || !std::isfinite(lufs) || lufs < kAbsoluteGateLufs)
        return std::nullopt;
    return lufs;
}

void check(int error)
{
    if (error == EBUR128_ERROR_NOMEM)
        throw std::bad_alloc();
}

} // namespace

TLoudness::TLoudness(int channels, long sampleRate, TLoudnessMode mode) : channels_(channels), mode_(mode)
{
    const int flags = mode == TLoudnessMode::Live
        ? EBUR128_MODE_S | EBUR128_MODE_I | EBUR128_MODE_HISTOGRAM
        : EBUR128_MODE_S | EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK;
    if (channels > 0 && sampleRate > 0)
        state_ = ebur128_init(static_cast<unsigned>(channels), static_cast<unsigned long>(sampleRate), flags);
    if (!state_)
        throw std::invalid_argument("loudness cannot be measured for " + std::to_string(channels) + " channels at " +
                                    std::to_string(sampleRate) + " Hz");
    if (channels == 1)
        ebur128_set_channel(state_, 0, EBUR128_DUAL_MONO);
}

TLoudness::~TLoudness()
{
    ebur128_destroy(&state_);
}

void TLoudness::Add(const std::int16_t* frames, std::size_t count)
{
    check(ebur128_add_frames_short(state_, frames, count));
}

void TLoudness::Add(const float* frames, std::size_t count)
{
    check(ebur128_add_frames_float(state_, frames, count));
}

std::optional<double> TLoudness::Read(int (*reading)(ebur128_state*, double*))
{
    double lufs = 0.0;
    const int error = reading(state_, &lufs);
    return gated(error, lufs);
}

std::optional<double> TLoudness::Momentary()
{
    return Read(ebur128_loudness_momentary);
}

std::optional<double> TLoudness::ShortTerm()
{
    return Read(ebur128_loudness_shortterm);
}

std::optional<double> TLoudness::Integrated()
{
    return Read(ebur128_loudness_global);
}

std::optional<double> TLoudness::Range()
{
    double lu = 0.0;
    if (mode_ != TLoudnessMode::Programme || !Integrated() || ebur128_loudness_range(state_, &lu) != EBUR128_SUCCESS)
        return std::nullopt;
    return lu;
}

std::optional<double> TLoudness::TruePeak()
{
    if (mode_ != TLoudnessMode::Programme)
        return std::nullopt;
    double highest = 0.0;
    for (int channel = 0; channel < channels_; ++channel) {
        double peak = 0.0;
        if (ebur128_true_peak(state_, static_cast<unsigned>(channel), &peak) == EBUR128_SUCCESS)
            highest = std::max(highest, peak);
    }
    if (highest <= 0.0)
        return std::nullopt;
    return 20.0 * std::log10(highest);
}

std::string loudnessText(std::optional<double> value)
{
    if (!value)
        return "\u2014";
    char text[32];
    // No "-0.0".
    std::snprintf(text, sizeof text, "%.1f", std::abs(*value) < 0.05 ? 0.0 : *value);
    return text;
}
