#include "wave_format.h"

#include <cstring>

TWaveFormatEx pcmWaveFormat(int bits, int channels, int rate)
{
    TWaveFormatEx f{};
    f.FormatTag = WAVE_FORMAT_PCM;
    f.Channels = static_cast<std::uint16_t>(channels);
    f.SamplesPerSec = static_cast<std::uint32_t>(rate);
    f.BitsPerSample = static_cast<std::uint16_t>(bits);
    f.BlockAlign = static_cast<std::uint16_t>(channels * bits / 8);
    f.AvgBytesPerSec = static_cast<std::uint32_t>(f.BlockAlign) * f.SamplesPerSec;
    f.ExtraSize = 0;
    return f;
}

bool isValidPcm(const TWaveFormatEx* format)
{
    if (!format || format->FormatTag != WAVE_FORMAT_PCM)
        return false;
    const bool bitsOk = format->BitsPerSample == 8 || format->BitsPerSample == 16;
    const bool channelsOk = format->Channels == 1 || format->Channels == 2 || format->Channels == 4;
    const bool rateOk = format->SamplesPerSec >= 4000 && format->SamplesPerSec <= 100000;
    return bitsOk && channelsOk && rateOk;
}

std::size_t waveFormatSize(const TWaveFormatEx& format)
{
    return format.FormatTag == WAVE_FORMAT_PCM ? sizeof(TWaveFormatEx) : sizeof(TWaveFormatEx) + format.ExtraSize;
}

OwnedWaveFormat::OwnedWaveFormat(const TWaveFormatEx* source)
{
    if (!source)
        return;
    const std::size_t size = waveFormatSize(*source);
    bytes_ = std::make_unique<std::byte[]>(size);
    std::memcpy(bytes_.get(), source, size);
    if (source->FormatTag == WAVE_FORMAT_PCM)
        reinterpret_cast<TWaveFormatEx*>(bytes_.get())->ExtraSize = 0;
}
