#pragma once
// The control panel's controls as data: identifiers, captions, the parameter each one edits and
// the text its value label shows. The window is built from these tables and its handlers look
// controls up in them, so one table row is all a control needs.

#include "parameter_set.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace qex::panel {

// Identifiers of the controls that are not rows of the tables below. A control's object name is
// "ctl" and its identifier (see ControlName).
namespace ctl {
inline constexpr int OnAirName = 1125;
inline constexpr int EditedMark = 1129;
inline constexpr int NameBox = 1121;
inline constexpr int PresetNumber = 1123;
inline constexpr int Plus = 1127;
inline constexpr int Minus = 1128;
inline constexpr int Save = 1101;
inline constexpr int Load = 1102;
inline constexpr int Gated = 1044;
inline constexpr int AgcBassMeter = 1036;
inline constexpr int AgcMasterMeter = 1149;
inline constexpr int AgcScaleTop = 1065;
inline constexpr int Global = 1081;
inline constexpr int CompressorButton = 1087;
inline constexpr int ExpanderButton = 1088;
inline constexpr int LimiterButton = 1089;
inline constexpr int SectionOn = 1112;
inline constexpr int HFMeter = 1071;
inline constexpr int LFMeter = 1072;
inline constexpr int HFConfig = 1079;
inline constexpr int LFConfig = 1080;
inline constexpr int ClipMeter = 1131;
inline constexpr int ImageMeter = 1082;
inline constexpr int InMeter = 1031;
inline constexpr int OutMeter = 1059;
inline constexpr int Efficiency = 1180;
} // namespace ctl

std::string ControlName(int id);

// How a value label writes its value.
enum class ValueFormat {
    Whole,        // 40
    Gate,         // "-" unless 0: -40
    Ratio,        // tenths: 4.0
    Threshold,    // tenths below full scale: 60 is -6.0, -200 is +20.0
    Tenths,       // -1.5, 3.0
    SignedTenths, // -10.0, +0.0, +3.0
};
std::string FormatValue(ValueFormat format, int32_t value);

// A slider that edits one field of the global block.
struct GlobalSlider {
    int id;
    int label;
    const char* caption;
    Param GlobalParams::*field;
    ValueFormat format = ValueFormat::Whole;
    bool topIsMaximum = false; // position = maximum − value ("Max Gain")

    int PositionOf(int32_t value) const;
    int32_t ValueAt(int position) const;
};
std::span<const GlobalSlider> GlobalSliders();
const GlobalSlider* FindGlobalSlider(int id);

// One of the seven band parameters, with its slider in the multiband group and in the dual-band
// group. Band Gain (multiband) and Clip Thr (dual band) are the same field.
struct BandSlider {
    struct Control {
        int id;
        int label;
        const char* caption;
    };
    Param SectionParams::*field;
    ValueFormat format;
    Control multiband;
    Control dualBand;
};
inline constexpr int kBandSliderCount = 7;
std::span<const BandSlider, kBandSliderCount> BandSliders();

// A switch: a toggle or one of a pair of radio buttons, over a global field or a Flags bit.
// Checked means the field or bit holds onMeans.
struct Switch {
    int id;
    const char* caption;
    Param GlobalParams::*field; // null for a Flags bit
    int32_t flag;
    bool onMeans = true;

    bool CheckedFor(const GlobalParams& params) const;
};
std::span<const Switch> Switches();
const Switch* FindSwitch(int id);

// The switch of a multiband section (Compressor, Expander, Limiter), shown on the section's "ON".
Param GlobalParams::*SectionSwitch(int section);

// The "M" toggle of each band: 1108 is band "1" (index 0) up to 1104 for band "5", then HF, LF.
inline constexpr std::array<int, kBandCount> kMuteIds = {1108, 1107, 1106, 1105, 1104, 1109, 1110};

} // namespace qex::panel
