#pragma once
// The band gain computer: once per frame, the gain of each dynamics band from its detector
// level. Each band has a Compressor (a fast envelope with hold and a program-dependent attack,
// and a slow envelope), an Expander and a Limiter; the dual-band bands use only the compressor.

#include "frame.h"
#include "meter_values.h"
#include "processing_settings.h"
#include "shared_value.h"

#include <array>
#include <cstdint>
#include <span>

namespace qex::dsp {

// The per-record values derived from a SectionParams record.
struct SectionCoefficients {
    Shared<double> attack1;
    Shared<double> release1;
    Shared<double> attack2; // slow envelope, compressor only
    Shared<double> release2;
    Shared<double> threshold; // 16-bit units
    Shared<double> exponent;  // compressor and limiter: 10/Ratio − 1; expander: 1 − 10/Ratio

    // Copies a set of values into one the audio thread reads, word by word.
    void PublishFrom(const SectionCoefficients& other);
};

struct SectionRecord : SectionCoefficients {
    Shared<double> gain;         // the section's last gain, a meter value
    Shared<uint32_t> holdLength; // compressor only
    double envelope = 0.0;
    uint32_t holdCounter = 0;
};

class BandGainComputer {
public:
    // One value per band, for one frame.
    using BandValues = std::array<double, kBandCount>;

    std::array<SectionRecord, kRecordCount> Records;
    // The detector levels of the last frame computed.
    BandValues BandLevel{};
    // The last frame's gains, meter values (the multiband processor replaces those of its
    // bands by the gains it applies).
    std::array<Shared<double>, kBandCount> BandGain;
    // The gain of each compressor's slow envelope as its last run left it, the meter value
    // shown beside the compressor gain: it stands while the compressor is off or after a reset
    // until the compressor runs again, and is 0 before it has ever run.
    std::array<Shared<double>, kBandCount> SlowGain;
    // The compressors' slow envelopes.
    std::array<double, kBandCount> SlowEnvelope{};

    SectionRecord& record(int band, int section) { return Records[RecordIndex(band, section)]; }

    // Envelopes, hold counters, slow envelopes and band gains back to 0.
    void ResetStates();

    // For each frame i of a chunk: gains[i][first..last] from levels[i][first..last]; gated[i]
    // is the AGC's gate for that frame. Parameters and derived values are read once per call.
    void Compute(int first, int last, std::span<const BandValues> levels, std::span<const bool> gated,
                 std::span<BandValues> gains, const GlobalParams& params, const ProcessingSettings& settings);
};

} // namespace qex::dsp
