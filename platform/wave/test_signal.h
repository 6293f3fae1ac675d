#pragma once
// The signal of the virtual input device: programme-like stereo material, so that processing
// and meters have something realistic to work on without a sound card. A chord with harmonics
// under a slow phrase envelope, a voice-like formant tone in syllable-rate bursts, and a little
// hiss; left and right differ. Every frame is a pure function of its index, so a recording is
// the same whatever the buffer sizes and however the clock was driven.

#include "wave_service.h"

#include <cstdint>

namespace qex::platform::wave {

class ProgramSignal {
public:
    explicit ProgramSignal(std::uint32_t sampleRate);

    // The frame at index n, each side within -1..1.
    void frame(std::uint64_t n, double& left, double& right) const;

    // Writes count frames starting at index first in the PCM format (8 or 16 bits, any channel
    // count: mono gets the mid signal, further channels repeat left and right).
    void render(std::uint64_t first, std::uint32_t count, const WaveFormatEx& format, char* out) const;

private:
    double tone(std::uint64_t n, std::uint64_t milliHertz) const;

    std::uint32_t rate_;
};

} // namespace qex::platform::wave
