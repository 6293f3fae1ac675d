#pragma once
// The processing module's whole state: the on-air and browse parameter sets, the signal path,
// the panel's window state, and the operations of the module record and of the control panel.
// The library holds exactly one, statically; Init, Config, Quit and the panel operations run on
// the host's window thread, ModifySamples on its audio thread.

#include "dsp/signal_path.h"
#include "panel_position.h"
#include "panel_state.h"
#include "panel_window.h"
#include "parameter_set.h"
#include "parameters.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace qex {

class ProcessingModule {
public:
    // Settings file and presets are found where the host keeps them, decided from the host
    // executable's folder as the host decides it. A module whose files are
    // read-only (in a host that only renders files) reads them as usual but never writes: no
    // settings at Quit, no preset rebuilt at start-up, none set aside.
    explicit ProcessingModule(std::filesystem::path hostExecutable, bool filesReadOnly = false);

    // The control panel plugs in here; without a factory there is no window to open.
    void SetPanelFactory(PanelFactory* factory) { panelFactory_ = factory; }

    // Entries of the module record.
    int Init();
    void Config();
    int ModifySamples(int16_t* samples, int frames, int bitsPerSample, int channels, int sampleRate);
    void Quit();

    // Parameter sets and presets.
    int LoadOnAirAtStartup();
    void ApplyParameters();
    // Writes the on-air set as preset n; false when it could not be written.
    bool SavePreset(int n);
    bool LoadBrowsePreset(int n);

    // Panel actions on the presets.
    void BrowseUp(int step = 1);
    void BrowseDown(int step = 1);
    void Save(std::string_view name);
    void Load();

    // Single-parameter changes from the panel: each writes the on-air set at once, refreshes
    // what derives from it and sets Edited where the panel's rules say so.
    void ChangeGlobal(Param GlobalParams::*field, int32_t value);
    // Returns the switch's state afterwards: "High Q" is refused below a 7 dB boost.
    bool ChangeFlag(int32_t flag, bool on);
    // A band slider: the field of record (band, section); "Band Gain" / "Clip Thr" always goes
    // to the band's Compressor record, and "Clip Thr" to both dual-band bands. The dual-band
    // bands have only their Compressor record on the panel; other indexes are refused.
    void ChangeSection(int band, int section, Param SectionParams::*field, int32_t value);
    // "GLOBAL": one field of the multiband band's record copied, with what derives from it, to
    // the same section of all five multiband bands (Band Gain to their Compressor records).
    void CopyToAllBands(int band, int section, Param SectionParams::*field);
    void SetBandMute(int band, bool muted);

    // The panel window's own events.
    void OnPanelClosed();
    void OnPanelMinimized(bool minimized) { PanelMinimized = minimized ? 1 : 0; }
    void OnPanelMoved(ScreenPoint position) { PanelPosition = position; }

    std::filesystem::path PresetPath(int n) const;
    std::filesystem::path SettingsPath() const;
    bool PanelOpen() const { return panel_ != nullptr; }

    ParameterSet OnAirSet{};
    ParameterSet BrowseSet = DefaultParameterSet(); // a short file browsed reads over it
    SectionCoefficientSet BrowseCoefficients;
    dsp::SignalPath Path{OnAirSet};

    int OnAirNumber = 0;
    int BrowseNumber = 0;
    bool BrowseLoaded = false;
    bool Edited = false;
    PanelState Panel;

    int32_t PanelVisible = 0;
    int32_t PanelMinimized = 0;
    ScreenPoint PanelPosition{10, 10}; // top-left corner of the panel window on the screen

private:
    void OpenPanel();
    void StorePanelPosition();
    void SaveModuleSettings();
    void WriteSetting(std::string_view key, int value);
    void Browse(int number);
    bool ReadOnAirPreset(int number);
    std::string PresetDetail() const;

    std::filesystem::path hostExecutable_;
    bool filesReadOnly_;
    PanelFactory* panelFactory_ = nullptr;
    std::unique_ptr<PanelWindow> panel_;
};

} // namespace qex
