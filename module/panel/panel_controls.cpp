#include "panel_controls.h"

#include "parameter_ranges.h"

#include <cstdlib>

namespace qex::panel {

namespace {

constexpr GlobalSlider kGlobalSliders[] = {
    {1003, 1013, "GATE dB", &GlobalParams::GateDb, ValueFormat::Gate},
    {1067, 1043, "Max Gain", &GlobalParams::AgcMaxGainDb, ValueFormat::Whole, true},
    {1169, 1170, "Bass Attack", &GlobalParams::BassAttackMs},
    {1163, 1164, "Bass Release", &GlobalParams::BassReleaseMs},
    {1166, 1167, "Master Attack", &GlobalParams::MasterAttackMs},
    {1160, 1161, "Master Release", &GlobalParams::MasterReleaseMs},
    {1154, 1155, "Band Link %", &GlobalParams::AgcBandLinkPct},
    {1134, 1085, "Bass Clipper Thr", &GlobalParams::BassClipThr, ValueFormat::SignedTenths},
    {1172, 1173, "Master/Bass Mix", &GlobalParams::MasterBassMixPct},
    {1007, 1018, "Gain", &GlobalParams::BassEqGainDb},
    {1070, 1050, "Freq", &GlobalParams::BassEqFreqHz},
    {1111, 1015, "Overdrive dB", &GlobalParams::OverdriveDb},
    {1141, 1142, "Hold mSec", &GlobalParams::HoldMs},
    {1083, 1137, "L/Ahead mSec", &GlobalParams::LookaheadMs},
    {1000, 1002, "1-2 ", &GlobalParams::BandLink12Pct},
    {1150, 1151, "3-2", &GlobalParams::BandLink32Pct},
    {1006, 1009, "4-3", &GlobalParams::BandLink43Pct},
    {1096, 1097, "5-4", &GlobalParams::BandLink54Pct},
    {ctl::Efficiency, 1181, "Multiband Efficiency %", &GlobalParams::MultibandEfficiencyPct},
    {1048, 1051, "Density Overdrive dB", &GlobalParams::DensityDb},
    {1156, 1157, "Clip Drive", &GlobalParams::ClipDrivePct},
    {1008, 1020, "Level %", &GlobalParams::StereoLevelPct},
    {1021, 1023, "Depth mS", &GlobalParams::StereoDepthMs},
    {1086, 1092, "Width Limiter", &GlobalParams::WidthLimiter},
    {1094, 1093, "OUT LEV %", &GlobalParams::OutLevelPct},
};

constexpr BandSlider kBandSliders[kBandSliderCount] = {
    {&SectionParams::Ratio, ValueFormat::Ratio, {1064, 1028, "Ratio"}, {1069, 1060, "Ratio"}},
    {&SectionParams::Threshold, ValueFormat::Threshold, {1024, 1026, "Thrshld dB"}, {1061, 1062, "Thr dB"}},
    {&SectionParams::Attack1Ms, ValueFormat::Whole, {1001, 1039, "Attack1 msec"}, {1068, 1053, "Att1 msec"}},
    {&SectionParams::Attack2Ms, ValueFormat::Whole, {1004, 1130, "Attack2 msec"}, {1143, 1145, "Att2 msec"}},
    {&SectionParams::Release1Ms, ValueFormat::Whole, {1005, 1010, "Rel1 msec"}, {1027, 1011, "Rel1 msec"}},
    {&SectionParams::Release2Ms, ValueFormat::Whole, {1140, 1133, "Rel2 msec"}, {1144, 1146, "Rel2 msec"}},
    {&SectionParams::BandGainTenthDb, ValueFormat::Tenths, {1042, 1046, "Band Gain"}, {1063, 1073, "Clip Thr"}},
};

constexpr Switch kSwitches[] = {
    {1038, "ON", &GlobalParams::AgcOn, 0},
    {1099, "PHASE ROTATOR", nullptr, Flag::PhaseRotator},
    {1103, "15KHz INPUT LPF", nullptr, Flag::InputLpf15k},
    {1135, "Peaking", nullptr, Flag::BassShelving, false},
    {1136, "Shelving", nullptr, Flag::BassShelving},
    {1138, "High Q", nullptr, Flag::BassHighQ},
    {1041, "Bypass All", &GlobalParams::BypassAll, 0},
    {1030, "No Clipper", &GlobalParams::NoClipper, 0},
    {1033, "No Stereo Exp", &GlobalParams::NoStereoExp, 0},
    {1047, "Preemphasis ON", &GlobalParams::PreemphOn, 0},
    {1115, "50uS", &GlobalParams::Preemph50us, 0},
    {1116, "75uS", &GlobalParams::Preemph50us, 0, false},
    {1100, "4 BANDS", nullptr, Flag::FourBands},
    {1177, "BYPASS", nullptr, Flag::MultibandBypass},
    {1114, "Track RMS", nullptr, Flag::TrackRms},
    {1113, "Show Composite", nullptr, Flag::ShowComposite},
    {1034, "Independent gate", &GlobalParams::IndependentGate, 0},
    {1175, "MONO", nullptr, Flag::Mono},
    {1183, "AM FILTER", nullptr, Flag::AmFilter},
};

// Tenths as "<whole>.<tenth>" of the magnitude, after the sign text.
std::string TenthsText(const char* sign, int32_t value)
{
    const long magnitude = std::labs(value);
    return sign + std::to_string(magnitude / 10) + "." + std::to_string(magnitude % 10);
}

} // namespace

std::string ControlName(int id)
{
    return "ctl" + std::to_string(id);
}

std::string FormatValue(ValueFormat format, int32_t value)
{
    switch (format) {
    case ValueFormat::Whole: return std::to_string(value);
    case ValueFormat::Gate: return (value != 0 ? "-" : "") + std::to_string(value);
    case ValueFormat::Ratio: return TenthsText("", value);
    case ValueFormat::Threshold: return TenthsText(value >= 0 ? "-" : "+", value);
    case ValueFormat::Tenths: return TenthsText(value < 0 ? "-" : "", value);
    case ValueFormat::SignedTenths: return TenthsText(value < 0 ? "-" : "+", value);
    }
    return std::to_string(value);
}

int GlobalSlider::PositionOf(int32_t value) const
{
    return topIsMaximum ? RangeOf(field).max - value : value;
}

int32_t GlobalSlider::ValueAt(int position) const
{
    return topIsMaximum ? RangeOf(field).max - position : position;
}

std::span<const GlobalSlider> GlobalSliders()
{
    return kGlobalSliders;
}

const GlobalSlider* FindGlobalSlider(int id)
{
    for (const auto& slider : kGlobalSliders)
        if (slider.id == id)
            return &slider;
    return nullptr;
}

std::span<const BandSlider, kBandSliderCount> BandSliders()
{
    return kBandSliders;
}

bool Switch::CheckedFor(const GlobalParams& params) const
{
    const bool set = field ? (params.*field).get() != 0 : params.has(flag);
    return set == onMeans;
}

std::span<const Switch> Switches()
{
    return kSwitches;
}

const Switch* FindSwitch(int id)
{
    for (const auto& entry : kSwitches)
        if (entry.id == id)
            return &entry;
    return nullptr;
}

Param GlobalParams::*SectionSwitch(int section)
{
    constexpr Param GlobalParams::*kSectionSwitches[kSectionCount] = {
        &GlobalParams::CompressorOn, &GlobalParams::ExpanderOn, &GlobalParams::LimiterOn};
    return kSectionSwitches[section];
}

} // namespace qex::panel
