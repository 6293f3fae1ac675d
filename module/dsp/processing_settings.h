#pragma once
// What the signal path reads besides the on-air parameter set: the values derived from it
// (levels in 16-bit units, time factors, lengths in samples) and the panel's band mutes, which
// are not part of a preset. The panel thread rewrites them in place, one whole word at a time.

#include "../parameter_set.h"
#include "shared_value.h"

#include <array>
#include <cstdint>

namespace qex::dsp {

struct ProcessingSettings {
    Shared<double> OverdriveGain;
    Shared<double> DensityGain;

    Shared<double> AgcEnvelopeFloor;
    Shared<int32_t> GateLevel;
    Shared<int32_t> BassClipLevel;
    Shared<double> BassAttack;
    Shared<double> BassRelease;
    Shared<double> MasterAttack;
    Shared<double> MasterRelease;
    Shared<double> BassWeight;
    Shared<double> MasterWeight;

    Shared<int32_t> LookaheadLength;
    Shared<int32_t> StereoDelayLength;
    Shared<float> Efficiency;
    Shared<float> OneMinusEfficiency;
    std::array<Shared<int32_t>, kMultibandCount> BandOutputGain;
    Shared<int32_t> ClipLevelHF;
    Shared<int32_t> ClipLevelLF;

    std::array<Shared<int32_t>, kBandCount> BandMute;
};

} // namespace qex::dsp
