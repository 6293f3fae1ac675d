#pragma once
// Everything the operator can set on the processing module: 21 per-band, per-section records
// and one block of global values. A set is stored in a preset file byte for byte, so the
// records keep an exact little-endian layout of 32-bit integers. The panel thread writes the
// on-air set while the audio thread reads it: every numeric field is a Shared word.

#include "dsp/shared_value.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>

namespace qex {

using dsp::Shared;
using Param = Shared<int32_t>;

// Bands 0..4 belong to the multiband processor (0 is the lowest), 5 is the dual-band "HF" band
// and 6 its "LF" band. Each band has a Compressor, an Expander and a Limiter section.
inline constexpr int kBandCount = 7;
inline constexpr int kMultibandCount = 5;
inline constexpr int kBandHF = 5;
inline constexpr int kBandLF = 6;
inline constexpr int kSectionCount = 3;
inline constexpr int kRecordCount = kBandCount * kSectionCount;
enum Section : int { Compressor = 0, Expander = 1, Limiter = 2 };

constexpr int RecordIndex(int band, int section)
{
    return band * kSectionCount + section;
}

struct SectionParams {
    Param Attack1Ms;
    Param Release1Ms;
    Param Attack2Ms;
    Param Release2Ms;
    Param Threshold;       // tenths of a dB below full scale
    Param Ratio;           // tenths: 40 is 4.0 : 1
    Param BandGainTenthDb; // section 0 only: band output gain, or ClipThr for bands 5 and 6
    std::array<uint8_t, 800> Reserved;
};

// Bits of GlobalParams::Flags.
struct Flag {
    static constexpr int32_t PhaseRotator = 1 << 0;
    static constexpr int32_t ShowComposite = 1 << 1;
    static constexpr int32_t FourBands = 1 << 2;
    static constexpr int32_t TrackRms = 1 << 3;
    static constexpr int32_t InputLpf15k = 1 << 4;
    static constexpr int32_t BassShelving = 1 << 5;
    static constexpr int32_t BassHighQ = 1 << 6;
    static constexpr int32_t Mono = 1 << 8;
    static constexpr int32_t MultibandBypass = 1 << 9;
    static constexpr int32_t AmFilter = 1 << 10;
    static constexpr int32_t AmFilterWide = 1 << 11;
};

struct GlobalParams {
    std::array<char, 60> Name; // NUL-terminated; read and written by the panel thread only
    Param AgcOn;
    Param AgcMaxGainDb;
    Param MaxGainLevel; // written for the file's sake, never read
    Param BandLink12Pct;
    Param OverdriveDb;
    Param BassEqGainDb;
    Param StereoLevelPct;
    Param StereoDepthMs;
    Param BypassAll;
    Param BassClipThr;
    Param NoClipper;
    Param NoStereoExp;
    Param LookaheadMs;
    Param SpareLevelDb;
    Param IndependentGate;
    Param Preemph50us;
    Param WidthLimiter;
    Param GateDb;
    Param HoldMs;
    Param PreemphOn;
    Param BassEqFreqHz;
    Param DensityDb;
    Param OutLevelPct;
    Param CompressorOn;
    Param ExpanderOn;
    Param LimiterOn;
    Param BandLink54Pct;
    Param BandLink43Pct;
    Param BandLink32Pct;
    Param Flags;
    Param AgcBandLinkPct;
    Param ClipDrivePct;
    Param MasterReleaseMs;
    Param BassReleaseMs;
    Param MasterAttackMs;
    Param BassAttackMs;
    Param MasterBassMixPct;
    Param MultibandEfficiencyPct;
    std::array<uint8_t, 804> Reserved;

    bool has(int32_t flag) const { return (Flags.get() & flag) != 0; }
};

struct ParameterSet {
    std::array<SectionParams, kRecordCount> Records;
    GlobalParams Global;

    SectionParams& record(int band, int section) { return Records[RecordIndex(band, section)]; }
    const SectionParams& record(int band, int section) const { return Records[RecordIndex(band, section)]; }
};

static_assert(std::endian::native == std::endian::little, "preset files are read and written in place");
static_assert(std::is_trivially_copyable_v<ParameterSet> && std::is_standard_layout_v<ParameterSet>);
static_assert(sizeof(SectionParams) == 828);
static_assert(offsetof(SectionParams, Attack1Ms) == 0 && offsetof(SectionParams, Release1Ms) == 4 &&
              offsetof(SectionParams, Attack2Ms) == 8 && offsetof(SectionParams, Release2Ms) == 12 &&
              offsetof(SectionParams, Threshold) == 16 && offsetof(SectionParams, Ratio) == 20 &&
              offsetof(SectionParams, BandGainTenthDb) == 24 && offsetof(SectionParams, Reserved) == 28);
static_assert(sizeof(GlobalParams) == 1016);
static_assert(offsetof(GlobalParams, Name) == 0 && offsetof(GlobalParams, AgcOn) == 60 &&
              offsetof(GlobalParams, AgcMaxGainDb) == 64 && offsetof(GlobalParams, MaxGainLevel) == 68 &&
              offsetof(GlobalParams, BandLink12Pct) == 72 && offsetof(GlobalParams, OverdriveDb) == 76 &&
              offsetof(GlobalParams, BassEqGainDb) == 80 && offsetof(GlobalParams, StereoLevelPct) == 84 &&
              offsetof(GlobalParams, StereoDepthMs) == 88 && offsetof(GlobalParams, BypassAll) == 92 &&
              offsetof(GlobalParams, BassClipThr) == 96 && offsetof(GlobalParams, NoClipper) == 100 &&
              offsetof(GlobalParams, NoStereoExp) == 104 && offsetof(GlobalParams, LookaheadMs) == 108 &&
              offsetof(GlobalParams, SpareLevelDb) == 112 && offsetof(GlobalParams, IndependentGate) == 116 &&
              offsetof(GlobalParams, Preemph50us) == 120 && offsetof(GlobalParams, WidthLimiter) == 124 &&
              offsetof(GlobalParams, GateDb) == 128 && offsetof(GlobalParams, HoldMs) == 132 &&
              offsetof(GlobalParams, PreemphOn) == 136 && offsetof(GlobalParams, BassEqFreqHz) == 140 &&
              offsetof(GlobalParams, DensityDb) == 144 && offsetof(GlobalParams, OutLevelPct) == 148 &&
              offsetof(GlobalParams, CompressorOn) == 152 && offsetof(GlobalParams, ExpanderOn) == 156 &&
              offsetof(GlobalParams, LimiterOn) == 160 && offsetof(GlobalParams, BandLink54Pct) == 164 &&
              offsetof(GlobalParams, BandLink43Pct) == 168 && offsetof(GlobalParams, BandLink32Pct) == 172 &&
              offsetof(GlobalParams, Flags) == 176 && offsetof(GlobalParams, AgcBandLinkPct) == 180 &&
              offsetof(GlobalParams, ClipDrivePct) == 184 && offsetof(GlobalParams, MasterReleaseMs) == 188 &&
              offsetof(GlobalParams, BassReleaseMs) == 192 && offsetof(GlobalParams, MasterAttackMs) == 196 &&
              offsetof(GlobalParams, BassAttackMs) == 200 && offsetof(GlobalParams, MasterBassMixPct) == 204 &&
              offsetof(GlobalParams, MultibandEfficiencyPct) == 208 && offsetof(GlobalParams, Reserved) == 212);
static_assert(sizeof(ParameterSet) == 18404 && offsetof(ParameterSet, Global) == 17388);

// The set used when no valid preset exists: all bytes zero, then the defaults, named "DEFAULT".
ParameterSet DefaultParameterSet();

// Copies a whole set into one the audio thread is reading, field by field through the Shared
// words, so that every value arrives whole (a frame may see old and new values mixed).
void PublishParameterSet(ParameterSet& to, const ParameterSet& from);

// The set's name as text, and a new name cut to the 19 characters the panel allows.
std::string_view NameOf(const GlobalParams& global);
void SetName(GlobalParams& global, std::string_view name);

} // namespace qex
