#pragma once
// The control panel's face: every group built in its place, and the controls the panel's
// handlers work with, gathered in one place.

#include "panel_controls.h"

#include <array>
#include <map>

class QAbstractSlider;
class QButtonGroup;
class QDialog;
class QLabel;
class QLineEdit;
class QPushButton;

namespace qex::panel {

class MeterBar;

struct SliderControl {
    QAbstractSlider* slider = nullptr;
    QLabel* readout = nullptr;
};

// A band's row: its "CFG" button, its "M" toggle and its meters (the dual-band rows have one).
struct BandRow {
    QPushButton* config = nullptr;
    QPushButton* mute = nullptr;
    MeterBar* lower = nullptr;
    MeterBar* upper = nullptr;
};

struct PanelControls {
    std::map<int, SliderControl> globalSliders; // by slider identifier
    std::array<SliderControl, kBandSliderCount> multibandSliders;
    std::array<SliderControl, kBandSliderCount> dualBandSliders;
    std::map<int, QPushButton*> switches; // the switch table's toggles and radio buttons
    std::array<BandRow, kBandCount> bands;
    QButtonGroup* multibandConfig = nullptr;
    QButtonGroup* dualBandConfig = nullptr;
    std::array<QPushButton*, kSectionCount> sections{};
    QPushButton* sectionOn = nullptr;
    QPushButton* global = nullptr;

    MeterBar* agcBass = nullptr;
    MeterBar* agcMaster = nullptr;
    MeterBar* image = nullptr;
    MeterBar* clip = nullptr;
    MeterBar* in = nullptr;
    MeterBar* out = nullptr;
    QLabel* gated = nullptr;
    QLabel* agcScaleTop = nullptr;

    QLabel* editedMark = nullptr;
    QLabel* onAirName = nullptr;
    QLineEdit* nameBox = nullptr;
    QLabel* presetNumber = nullptr;
    QPushButton* plus = nullptr;
    QPushButton* minus = nullptr;
    QPushButton* save = nullptr;
    QPushButton* load = nullptr;
};

// Builds the top bar and every group into the dialog, in the panel's order, and records the
// controls. Sliders get their ranges; meters their ranges and colours.
void BuildPanelLayout(QDialog& dialog, PanelControls& controls);

} // namespace qex::panel
