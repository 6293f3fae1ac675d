#include "wav_file.h"

#include <array>
#include <cstring>
#include <string>

namespace {

constexpr std::uint16_t kFormatExtensible = 0xFFFE;
constexpr std::uint32_t kMaxRiffBytes = 0xFFFFFFFFu;

std::uint16_t le16(const unsigned char* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t le32(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void put16(std::ostream& out, std::uint16_t v)
{
    const char bytes[2] = {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
    out.write(bytes, 2);
}

void put32(std::ostream& out, std::uint32_t v)
{
    put16(out, static_cast<std::uint16_t>(v & 0xFFFF));
    put16(out, static_cast<std::uint16_t>(v >> 16));
}

bool readExactly(std::istream& in, unsigned char* into, std::size_t count)
{
    in.read(reinterpret_cast<char*>(into), static_cast<std::streamsize>(count));
    return static_cast<std::size_t>(in.gcount()) == count;
}

std::uint64_t streamSize(std::istream& in)
{
    const auto here = in.tellg();
    in.seekg(0, std::ios::end);
    const auto end = in.tellg();
    in.seekg(here);
    return end < 0 ? 0 : static_cast<std::uint64_t>(end);
}

// The format tag, looking through WAVE_FORMAT_EXTENSIBLE to its sub-format.
std::uint16_t effectiveTag(const unsigned char* fmt, std::uint32_t size)
{
    const std::uint16_t tag = le16(fmt);
    if (tag == kFormatExtensible && size >= 40)
        return le16(fmt + 24);
    return tag;
}

} // namespace

TWavFileInfo readWavHeader(std::istream& in)
{
    const std::uint64_t fileSize = streamSize(in);
    std::array<unsigned char, 12> riff{};
    if (!readExactly(in, riff.data(), riff.size()) || std::memcmp(riff.data(), "RIFF", 4) != 0 ||
        std::memcmp(riff.data() + 8, "WAVE", 4) != 0)
        throw EWavFileError("not a RIFF/WAVE file");

    TWavFileInfo info;
    bool haveFormat = false;
    std::uint64_t at = 12;
    for (;;) {
        std::array<unsigned char, 8> chunk{};
        if (!readExactly(in, chunk.data(), chunk.size()))
            throw EWavFileError(haveFormat ? "truncated: no \"data\" chunk" : "truncated: no \"fmt \" chunk");
        const std::uint32_t size = le32(chunk.data() + 4);
        at += 8;
        if (std::memcmp(chunk.data(), "fmt ", 4) == 0) {
            if (size < 16 || size > 1024)
                throw EWavFileError("damaged \"fmt \" chunk");
            std::array<unsigned char, 1024> fmt{};
            if (!readExactly(in, fmt.data(), size))
                throw EWavFileError("truncated inside the \"fmt \" chunk");
            const std::uint16_t tag = effectiveTag(fmt.data(), size);
            if (tag != WAVE_FORMAT_PCM)
                throw EWavFileError("not PCM audio (format tag " + std::to_string(tag) + ")");
            const int channels = le16(fmt.data() + 2);
            const int rate = static_cast<int>(le32(fmt.data() + 4));
            const int bits = le16(fmt.data() + 14);
            if (bits != 16)
                throw EWavFileError(std::to_string(bits) + "-bit samples; only 16-bit PCM is processed");
            info.Format = pcmWaveFormat(bits, channels, rate);
            if (!isValidPcm(&info.Format))
                throw EWavFileError("unsupported PCM layout (" + std::to_string(channels) + " channels at " +
                                    std::to_string(rate) + " Hz)");
            haveFormat = true;
        } else if (std::memcmp(chunk.data(), "data", 4) == 0) {
            if (!haveFormat)
                throw EWavFileError("the \"data\" chunk comes before the \"fmt \" chunk");
            if (at + size > fileSize)
                throw EWavFileError("truncated: the data chunk holds " + std::to_string(size) + " bytes, the file " +
                                    std::to_string(fileSize > at ? fileSize - at : 0));
            info.DataOffset = at;
            info.DataBytes = size - size % info.Format.BlockAlign;
            return info;
        }
        // Chunks are word aligned.
        at += size + (size & 1);
        if (at > fileSize)
            throw EWavFileError("truncated inside a chunk");
        in.seekg(static_cast<std::streamoff>(at));
    }
}

void writeWavHeader(std::ostream& out, const TWaveFormatEx& format, std::uint32_t dataBytes)
{
    out.write("RIFF", 4);
    put32(out, dataBytes > kMaxRiffBytes - 36 ? kMaxRiffBytes : 36 + dataBytes);
    out.write("WAVEfmt ", 8);
    put32(out, 16);
    put16(out, WAVE_FORMAT_PCM);
    put16(out, format.Channels);
    put32(out, format.SamplesPerSec);
    put32(out, format.AvgBytesPerSec);
    put16(out, format.BlockAlign);
    put16(out, format.BitsPerSample);
    out.write("data", 4);
    put32(out, dataBytes);
}
