#include "parameter_ranges.h"

#include <iterator>

namespace qex {

namespace {

struct GlobalFieldRange {
    Param GlobalParams::*field;
    ValueRange range;
};

constexpr GlobalFieldRange kGlobalRanges[] = {
    {&GlobalParams::GateDb, {0, 90}},
    {&GlobalParams::AgcMaxGainDb, {0, 25}},
    {&GlobalParams::BassAttackMs, {100, 1000}},
    {&GlobalParams::BassReleaseMs, {1000, 20000}},
    {&GlobalParams::MasterAttackMs, {100, 1000}},
    {&GlobalParams::MasterReleaseMs, {2000, 20000}},
    {&GlobalParams::AgcBandLinkPct, {0, 100}},
    {&GlobalParams::BassClipThr, {-100, 30}},
    {&GlobalParams::MasterBassMixPct, {30, 80}},
    {&GlobalParams::BassEqGainDb, {0, 12}},
    {&GlobalParams::BassEqFreqHz, {40, 150}},
    {&GlobalParams::OverdriveDb, {0, 30}},
    {&GlobalParams::HoldMs, {0, 500}},
    {&GlobalParams::LookaheadMs, {0, 100}},
    {&GlobalParams::BandLink12Pct, {0, 100}},
    {&GlobalParams::BandLink32Pct, {0, 100}},
    {&GlobalParams::BandLink43Pct, {0, 100}},
    {&GlobalParams::BandLink54Pct, {0, 100}},
    {&GlobalParams::MultibandEfficiencyPct, {0, 100}},
    {&GlobalParams::DensityDb, {-20, 4}},
    {&GlobalParams::ClipDrivePct, {40, 100}},
    {&GlobalParams::StereoLevelPct, {0, 100}},
    {&GlobalParams::StereoDepthMs, {0, 20}},
    {&GlobalParams::WidthLimiter, {0, 100}},
    {&GlobalParams::OutLevelPct, {0, 100}},
};

constexpr Param GlobalParams::*kSwitches[] = {
    &GlobalParams::AgcOn,           &GlobalParams::BypassAll,   &GlobalParams::NoClipper, &GlobalParams::NoStereoExp,
    &GlobalParams::IndependentGate, &GlobalParams::Preemph50us, &GlobalParams::PreemphOn, &GlobalParams::CompressorOn,
    &GlobalParams::ExpanderOn,      &GlobalParams::LimiterOn,
};

struct SectionFieldRange {
    Param SectionParams::*field;
    ValueRange range;
};

constexpr SectionFieldRange kSectionRanges[] = {
    {&SectionParams::Attack1Ms, {1, 500}},          {&SectionParams::Release1Ms, {10, 4000}},
    {&SectionParams::Attack2Ms, {100, 1000}},       {&SectionParams::Release2Ms, {500, 20000}},
    {&SectionParams::Threshold, {-200, 300}},       {&SectionParams::Ratio, {10, 100}},
    {&SectionParams::BandGainTenthDb, {-120, 120}},
};
constexpr ValueRange kClipThrRange{-60, 120};

// No range: the field is left as it is.
constexpr ValueRange kAnyValue{INT32_MIN, INT32_MAX};

} // namespace

ValueRange RangeOf(Param GlobalParams::*field)
{
    for (const auto& entry : kGlobalRanges)
        if (entry.field == field)
            return entry.range;
    return kAnyValue;
}

ValueRange RangeOf(Param SectionParams::*field, int band)
{
    if (field == &SectionParams::BandGainTenthDb && band >= kMultibandCount)
        return kClipThrRange;
    for (const auto& entry : kSectionRanges)
        if (entry.field == field)
            return entry.range;
    return kAnyValue;
}

void PullIntoControlRanges(ParameterSet& set)
{
    for (int band = 0; band < kBandCount; ++band)
        for (int section = 0; section < kSectionCount; ++section)
            for (const auto& entry : kSectionRanges) {
                Param& value = set.record(band, section).*entry.field;
                value.set(RangeOf(entry.field, band).clamp(value.get()));
            }
    for (const auto& entry : kGlobalRanges) {
        Param& value = set.Global.*entry.field;
        value.set(entry.range.clamp(value.get()));
    }
    for (const auto field : kSwitches) {
        Param& value = set.Global.*field;
        value.set(value.get() != 0 ? 1 : 0);
    }
}

} // namespace qex
