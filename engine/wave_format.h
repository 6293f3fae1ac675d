#pragma once
// The PCM wave format record that travels along the chain, laid out byte for byte like the
// wave format header of a WAV file's "fmt " chunk with its trailing extra-size word.

#include <cstddef>
#include <cstdint>
#include <memory>

#pragma pack(push, 1)
struct TWaveFormatEx {
    std::uint16_t FormatTag;      // 1 = PCM
    std::uint16_t Channels;       // interleaved channels
    std::uint32_t SamplesPerSec;  // sample rate in Hz
    std::uint32_t AvgBytesPerSec; // bytes per second
    std::uint16_t BlockAlign;     // bytes per sample frame, all channels
    std::uint16_t BitsPerSample;  // 8 (unsigned, silence 128) or 16 (signed, silence 0)
    std::uint16_t ExtraSize;      // bytes of extra format data that follow; 0 for PCM
};
#pragma pack(pop)

static_assert(sizeof(TWaveFormatEx) == 18);
static_assert(offsetof(TWaveFormatEx, Channels) == 2);
static_assert(offsetof(TWaveFormatEx, SamplesPerSec) == 4);
static_assert(offsetof(TWaveFormatEx, AvgBytesPerSec) == 8);
static_assert(offsetof(TWaveFormatEx, BlockAlign) == 12);
static_assert(offsetof(TWaveFormatEx, BitsPerSample) == 14);
static_assert(offsetof(TWaveFormatEx, ExtraSize) == 16);

constexpr std::uint16_t WAVE_FORMAT_PCM = 1;

// A PCM format built from bits, channels and rate.
TWaveFormatEx pcmWaveFormat(int bits, int channels, int rate);

// Tag 1, 8 or 16 bits, 1, 2 or 4 channels, 4000..100000 Hz. Every PCM test of the engine uses
// exactly this rule.
bool isValidPcm(const TWaveFormatEx* format);

// 18 for PCM, 18 + ExtraSize for other formats.
std::size_t waveFormatSize(const TWaveFormatEx& format);

// A component's own heap copy of a format (never a pointer into a neighbour's record).
class OwnedWaveFormat {
public:
    OwnedWaveFormat() = default;
    // Copies the record and its extra bytes; a PCM copy gets ExtraSize 0.
    explicit OwnedWaveFormat(const TWaveFormatEx* source);

    const TWaveFormatEx* get() const { return reinterpret_cast<const TWaveFormatEx*>(bytes_.get()); }
    explicit operator bool() const { return bytes_ != nullptr; }
    const TWaveFormatEx* operator->() const { return get(); }

private:
    std::unique_ptr<std::byte[]> bytes_;
};
