#include "parameter_set.h"

#include <algorithm>

namespace qex {

namespace {

struct SectionDefaults {
    int32_t attack1, release1, attack2, release2, threshold, ratio, bandGain;
};

constexpr SectionDefaults kCompressorDefaults[kBandCount] = {
    {40, 1000, 500, 20000, 60, 40, 30}, {30, 1000, 500, 20000, 60, 40, -10}, {20, 1000, 500, 20000, 60, 40, 0},
    {10, 1000, 500, 20000, 60, 40, 30}, {10, 1000, 500, 20000, 60, 40, 30},  {20, 800, 500, 20000, 60, 80, 0},
    {40, 800, 500, 20000, 60, 80, 0},
};
constexpr SectionDefaults kExpanderDefaults = {3, 200, 10, 100, 60, 25, 0};
constexpr SectionDefaults kMultibandLimiterDefaults = {10, 300, 0, 0, 40, 10, 0};
constexpr SectionDefaults kDualBandLimiterDefaults = {5, 300, 0, 0, 60, 10, 0};

void Fill(SectionParams& record, const SectionDefaults& d)
{
    record.Attack1Ms.set(d.attack1);
    record.Release1Ms.set(d.release1);
    record.Attack2Ms.set(d.attack2);
    record.Release2Ms.set(d.release2);
    record.Threshold.set(d.threshold);
    record.Ratio.set(d.ratio);
    record.BandGainTenthDb.set(d.bandGain);
}

constexpr Param SectionParams::*kSectionFields[] = {
    &SectionParams::Attack1Ms, &SectionParams::Release1Ms, &SectionParams::Attack2Ms,       &SectionParams::Release2Ms,
    &SectionParams::Threshold, &SectionParams::Ratio,      &SectionParams::BandGainTenthDb,
};

constexpr Param GlobalParams::*kGlobalFields[] = {
    &GlobalParams::AgcOn,
    &GlobalParams::AgcMaxGainDb,
    &GlobalParams::MaxGainLevel,
    &GlobalParams::BandLink12Pct,
    &GlobalParams::OverdriveDb,
    &GlobalParams::BassEqGainDb,
    &GlobalParams::StereoLevelPct,
    &GlobalParams::StereoDepthMs,
    &GlobalParams::BypassAll,
    &GlobalParams::BassClipThr,
    &GlobalParams::NoClipper,
    &GlobalParams::NoStereoExp,
    &GlobalParams::LookaheadMs,
    &GlobalParams::SpareLevelDb,
    &GlobalParams::IndependentGate,
    &GlobalParams::Preemph50us,
    &GlobalParams::WidthLimiter,
    &GlobalParams::GateDb,
    &GlobalParams::HoldMs,
    &GlobalParams::PreemphOn,
    &GlobalParams::BassEqFreqHz,
    &GlobalParams::DensityDb,
    &GlobalParams::OutLevelPct,
    &GlobalParams::CompressorOn,
    &GlobalParams::ExpanderOn,
    &GlobalParams::LimiterOn,
    &GlobalParams::BandLink54Pct,
    &GlobalParams::BandLink43Pct,
    &GlobalParams::BandLink32Pct,
    &GlobalParams::Flags,
    &GlobalParams::AgcBandLinkPct,
    &GlobalParams::ClipDrivePct,
    &GlobalParams::MasterReleaseMs,
    &GlobalParams::BassReleaseMs,
    &GlobalParams::MasterAttackMs,
    &GlobalParams::BassAttackMs,
    &GlobalParams::MasterBassMixPct,
    &GlobalParams::MultibandEfficiencyPct,
};
// The table must name every numeric field between the name and the reserved bytes.
static_assert(std::size(kGlobalFields) * sizeof(Param) ==
              offsetof(GlobalParams, Reserved) - offsetof(GlobalParams, AgcOn));
static_assert(std::size(kSectionFields) * sizeof(Param) == offsetof(SectionParams, Reserved));

} // namespace

ParameterSet DefaultParameterSet()
{
    ParameterSet set{};
    for (int band = 0; band < kBandCount; ++band) {
        Fill(set.record(band, Compressor), kCompressorDefaults[band]);
        Fill(set.record(band, Expander), kExpanderDefaults);
        Fill(set.record(band, Limiter), band < kMultibandCount ? kMultibandLimiterDefaults : kDualBandLimiterDefaults);
    }

    GlobalParams& g = set.Global;
    SetName(g, "DEFAULT");
    g.AgcOn.set(1);
    g.AgcMaxGainDb.set(25);
    g.BandLink12Pct.set(50);
    g.OverdriveDb.set(10);
    g.BassEqGainDb.set(3);
    g.LookaheadMs.set(10);
    g.Preemph50us.set(1);
    g.GateDb.set(40);
    g.HoldMs.set(20);
    g.BassEqFreqHz.set(65);
    g.OutLevelPct.set(100);
    g.CompressorOn.set(1);
    g.BandLink54Pct.set(20);
    g.BandLink43Pct.set(40);
    g.BandLink32Pct.set(40);
    g.Flags.set(Flag::PhaseRotator);
    g.AgcBandLinkPct.set(50);
    g.ClipDrivePct.set(80);
    g.MasterReleaseMs.set(4000);
    g.BassReleaseMs.set(4000);
    g.MasterAttackMs.set(200);
    g.BassAttackMs.set(500);
    g.MasterBassMixPct.set(50);
    g.MultibandEfficiencyPct.set(100);
    return set;
}

void PublishParameterSet(ParameterSet& to, const ParameterSet& from)
{
    for (int i = 0; i < kRecordCount; ++i) {
        for (const auto field : kSectionFields)
            (to.Records[i].*field).set((from.Records[i].*field).get());
        to.Records[i].Reserved = from.Records[i].Reserved;
    }
    to.Global.Name = from.Global.Name;
    for (const auto field : kGlobalFields)
        (to.Global.*field).set((from.Global.*field).get());
    to.Global.Reserved = from.Global.Reserved;
}

std::string_view NameOf(const GlobalParams& global)
{
    const auto& name = global.Name;
    return {name.data(), static_cast<size_t>(std::find(name.begin(), name.end(), '\0') - name.begin())};
}

void SetName(GlobalParams& global, std::string_view name)
{
    // Only the new text and its terminator are written; older bytes past it stay, as they
    // always have in stored presets.
    name = name.substr(0, 19);
    std::copy(name.begin(), name.end(), global.Name.begin());
    global.Name[name.size()] = '\0';
}

} // namespace qex
