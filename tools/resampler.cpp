#include "resampler.h"

#include <soxr.h>

#include <cmath>
#include <stdexcept>
#include <string>

TResampler::TResampler(double fromRate, double toRate, int channels) : channels_(channels), ratio_(toRate / fromRate)
{
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    soxr_error_t error = nullptr;
    soxr_ = soxr_create(fromRate, toRate, static_cast<unsigned>(channels), &error, &io, &quality, nullptr);
    if (error || !soxr_)
        throw std::runtime_error("cannot resample " + std::to_string(fromRate) + " Hz to " + std::to_string(toRate) +
                                 " Hz: " + (error ? error : "unknown error"));
}

TResampler::~TResampler()
{
    soxr_delete(soxr_);
}

std::size_t TResampler::Run(const float* frames, std::size_t count, std::size_t& used, std::vector<float>& out)
{
    const std::size_t room = static_cast<std::size_t>(std::ceil(static_cast<double>(count) * ratio_)) + 1024;
    const std::size_t at = out.size();
    out.resize(at + room * static_cast<std::size_t>(channels_));
    std::size_t produced = 0;
    used = 0;
    const soxr_error_t error = soxr_process(soxr_, frames, count, &used, out.data() + at, room, &produced);
    out.resize(at + produced * static_cast<std::size_t>(channels_));
    if (error)
        throw std::runtime_error(std::string("resampling failed: ") + error);
    return produced;
}

void TResampler::Process(const float* frames, std::size_t count, std::vector<float>& out)
{
    while (count > 0) {
        std::size_t used = 0;
        if (Run(frames, count, used, out) == 0 && used == 0)
            throw std::runtime_error("resampling made no progress");
        frames += used * static_cast<std::size_t>(channels_);
        count -= used;
    }
}

void TResampler::Flush(std::vector<float>& out)
{
    std::size_t used = 0;
    while (Run(nullptr, 0, used, out) > 0) {}
}
