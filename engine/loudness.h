#pragma once
// Loudness after ITU-R BS.1770 / EBU R128, measured by libebur128: momentary, short-term and
// integrated loudness (LUFS), loudness range (LU) and true peak (dBTP) of interleaved PCM.
//
// A reading that has nothing to measure (digital silence, or everything below the absolute
// gate of -70 LUFS) has no value rather than a huge negative number.

#include <ebur128.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// What a measurement keeps track of; the loudness figures a mode does not include stay empty.
enum class TLoudnessMode {
    // Momentary, short-term and integrated loudness with bounded memory, for a meter that runs
    // for weeks: the gating blocks are counted in a histogram of 0.1 LU steps.
    Live,
    // Everything, gating blocks kept exactly: for a file of known length.
    Programme,
};

class TLoudness {
public:
    // A mono stream counts as heard on both loudspeakers. Throws std::invalid_argument for a
    // channel count or rate the library refuses.
    TLoudness(int channels, long sampleRate, TLoudnessMode mode);
    ~TLoudness();
    TLoudness(const TLoudness&) = delete;
    TLoudness& operator=(const TLoudness&) = delete;

    // Interleaved frames: 16-bit integers, or floats with full scale at +-1. The live mode
    // never allocates here; the programme mode throws std::bad_alloc when memory runs out.
    void Add(const std::int16_t* frames, std::size_t count);
    void Add(const float* frames, std::size_t count);

    std::optional<double> Momentary();
    std::optional<double> ShortTerm();
    std::optional<double> Integrated();
    // Empty while the integrated loudness is.
    std::optional<double> Range();
    // The highest of the channels' true peaks; empty for silence or in the live mode.
    std::optional<double> TruePeak();

    int Channels() const { return channels_; }

private:
    // One of the library's loudness readings, gated.
    std::optional<double> Read(int (*reading)(ebur128_state*, double*));

    ebur128_state* state_ = nullptr;
    int channels_;
    TLoudnessMode mode_;
};

// A loudness figure with one decimal, or "—" when there is none.
std::string loudnessText(std::optional<double> value);
