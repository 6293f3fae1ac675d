#pragma once
// WAV files as the renderer reads and writes them: a RIFF/WAVE container with a PCM "fmt "
// chunk and a "data" chunk.

#include "wave_format.h"

#include <cstdint>
#include <istream>
#include <ostream>
#include <stdexcept>

class EWavFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TWavFileInfo {
    TWaveFormatEx Format{};
    std::uint64_t DataOffset = 0; // where the samples begin
    std::uint64_t DataBytes = 0;  // whole sample frames only
};

// Reads the header of a 16-bit PCM WAV file and finds its samples. Throws EWavFileError with a
// clear reason for anything else: not RIFF/WAVE, not PCM, not 16 bits, truncated.
TWavFileInfo readWavHeader(std::istream& in);

// Writes a canonical 44-byte header for PCM data of the given size.
void writeWavHeader(std::ostream& out, const TWaveFormatEx& format, std::uint32_t dataBytes);
