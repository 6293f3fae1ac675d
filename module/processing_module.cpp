#include "processing_module.h"

#include "audit_record.h"
#include "dsp/conversions.h"
#include "module_settings.h"
#include "parameter_ranges.h"
#include "preset_file.h"

#include <algorithm>

namespace qex {

namespace {

constexpr int kMaxStartupStereoDepthMs = 20;

} // namespace

ProcessingModule::ProcessingModule(std::filesystem::path hostExecutable, bool filesReadOnly)
    : hostExecutable_(std::move(hostExecutable)), filesReadOnly_(filesReadOnly)
{
}

std::filesystem::path ProcessingModule::SettingsPath() const
{
    return ModuleSettingsPath(hostExecutable_);
}

std::filesystem::path ProcessingModule::PresetPath(int n) const
{
    return PresetFilePath(ModuleDataFolder(hostExecutable_), n);
}

int ProcessingModule::Init()
{
    const int number = LoadOnAirAtStartup();
    OnAirNumber = number;
    BrowseNumber = number;
    Edited = false;
    if (PanelVisible) {
        OpenPanel();
        if (panel_ && PanelMinimized)
            panel_->Minimize();
    }
    ApplyParameters();
    Path.Initialise();
    return 0;
}

void ProcessingModule::Config()
{
    if (panel_)
        return;
    // Opening the panel restarts the dynamics, as it always has; applying first lets the new
    // panel show the band mutes the apply has just cleared.
    ApplyParameters();
    OpenPanel();
    PanelVisible = 1;
}

int ProcessingModule::ModifySamples(int16_t* samples, int frames, int bitsPerSample, int channels, int sampleRate)
{
    return Path.Process(samples, frames, bitsPerSample, channels, sampleRate);
}

void ProcessingModule::Quit()
{
    if (panel_) {
        StorePanelPosition();
        panel_.reset();
    }
    // The parameter set itself is only ever written by Save.
    SaveModuleSettings();
}

void ProcessingModule::SaveModuleSettings()
{
    WriteSetting("ProcessNumber", OnAirNumber);
    WriteSetting("Visible", PanelVisible);
    WriteSetting("Minimized", PanelMinimized);
}

void ProcessingModule::OpenPanel()
{
    if (!panelFactory_)
        return;
    // A new panel has an empty caption: a format still refused must show its warning again.
    Path.Meters.FormatError.clearBits(dsp::kFormatWarningShown);
    panel_ = panelFactory_->CreatePanel(*this);
    if (!panel_)
        return;
    const auto settings = SettingsPath();
    const auto position = RestorePanelPosition(ReadModuleSetting(settings, "pos_x", -1),
                                               ReadModuleSetting(settings, "pos_y", -1), panel_->DesktopClientRect());
    if (position) {
        PanelPosition = *position;
        panel_->MoveTo(PanelPosition);
    }
}

void ProcessingModule::StorePanelPosition()
{
    const auto position = SavePanelPosition(PanelPosition, panel_->DesktopClientRect());
    if (!position)
        return;
    PanelPosition = *position;
    WriteSetting("pos_x", PanelPosition.x);
    WriteSetting("pos_y", PanelPosition.y);
}

void ProcessingModule::OnPanelClosed()
{
    if (!panel_)
        return;
    StorePanelPosition();
    panel_.reset();
    PanelVisible = 0;
}

int ProcessingModule::LoadOnAirAtStartup()
{
    const auto settings = SettingsPath();
    int number = ReadModuleSetting(settings, "ProcessNumber", 0);
    PanelVisible = ReadModuleSetting(settings, "Visible", 1);
    PanelMinimized = ReadModuleSetting(settings, "Minimized", 0);
    if (number < kFirstPreset || number > kLastPreset)
        number = kFirstPreset;

    if (!ReadOnAirPreset(number)) {
        PublishParameterSet(OnAirSet, DefaultParameterSet());
        SavePreset(number);
    }

    if (OnAirSet.Global.StereoDepthMs.get() > kMaxStartupStereoDepthMs)
        OnAirSet.Global.StereoDepthMs.set(0);
    PullIntoControlRanges(OnAirSet);
    DeriveSectionCoefficients(OnAirSet, Path.Gains.Records);
    DeriveBandOutputGains(OnAirSet, Path.Settings);
    return number;
}

// Reads preset n over the defaults, so that fields a short file lacks keep their default values
// rather than 0 (an output level of 0 is silence on air). A file that is there but unusable is
// set aside before the slot is rebuilt; one marked read-only is left alone.
bool ProcessingModule::ReadOnAirPreset(int number)
{
    PublishParameterSet(OnAirSet, DefaultParameterSet());
    const auto file = PresetPath(number);
    switch (ReadPresetFile(file, OnAirSet)) {
    case PresetRead::Valid: return true;
    case PresetRead::Missing: return false;
    case PresetRead::NotOpened:
    case PresetRead::WrongMarker: break;
    }
    if (!filesReadOnly_ && !MarkedReadOnly(file))
        SetDamagedPresetAside(file);
    return false;
}

void ProcessingModule::ApplyParameters()
{
    for (auto& mute : Path.Settings.BandMute)
        mute.set(0);
    Path.RequestReset();
    OnAirSet.Global.MaxGainLevel.set(dsp::LevelFromDb(-OnAirSet.Global.AgcMaxGainDb.get()));
    DeriveGlobalValues(OnAirSet, Path);
}

bool ProcessingModule::SavePreset(int n)
{
    return !filesReadOnly_ && WritePresetFile(PresetPath(n), OnAirSet);
}

void ProcessingModule::WriteSetting(std::string_view key, int value)
{
    if (!filesReadOnly_)
        WriteModuleSetting(SettingsPath(), key, value);
}

bool ProcessingModule::LoadBrowsePreset(int n)
{
    if (ReadPresetFile(PresetPath(n), BrowseSet) != PresetRead::Valid) {
        SetName(BrowseSet.Global, "EMPTY");
        return false;
    }
    PullIntoControlRanges(BrowseSet);
    DeriveSectionCoefficients(BrowseSet, BrowseCoefficients);
    return true;
}

void ProcessingModule::Browse(int number)
{
    BrowseNumber = std::clamp(number, kFirstPreset, kLastPreset);
    BrowseLoaded = LoadBrowsePreset(BrowseNumber);
}

void ProcessingModule::BrowseUp(int step)
{
    Browse(BrowseNumber + step);
}

void ProcessingModule::BrowseDown(int step)
{
    Browse(BrowseNumber - step);
}

void ProcessingModule::Save(std::string_view name)
{
    SetName(OnAirSet.Global, name);
    // A failed write is not reported, but the on-air number only moves to a slot that now holds
    // the set, and the edits stay marked.
    if (!SavePreset(BrowseNumber))
        return;
    OnAirNumber = BrowseNumber;
    Edited = false;
    // The slot now holds the set on air: a Load must not bring back what it held before.
    BrowseSet = OnAirSet;
    for (int i = 0; i < kRecordCount; ++i)
        BrowseCoefficients[i].PublishFrom(Path.Gains.Records[i]);
    BrowseLoaded = true;
    RecordInAuditTrail("Preset saved", PresetDetail());
}

void ProcessingModule::Load()
{
    if (!BrowseLoaded)
        return;
    Edited = false;
    OnAirNumber = BrowseNumber;
    PublishParameterSet(OnAirSet, BrowseSet);
    for (int i = 0; i < kRecordCount; ++i)
        Path.Gains.Records[i].PublishFrom(BrowseCoefficients[i]);
    DeriveBandOutputGains(OnAirSet, Path.Settings);
    ApplyParameters();
    RecordInAuditTrail("Preset loaded", PresetDetail());
}

// "7 MORNING DRIVE": the on-air number and name.
std::string ProcessingModule::PresetDetail() const
{
    return std::to_string(OnAirNumber) + " " + std::string(NameOf(OnAirSet.Global));
}

void ProcessingModule::ChangeGlobal(Param GlobalParams::*field, int32_t value)
{
    GlobalParams& g = OnAirSet.Global;
    (g.*field).set(value);
    // "High Q" needs a boost it can split into sections of at least 2 dB.
    if (field == &GlobalParams::BassEqGainDb && value < 6)
        g.Flags.set(g.Flags.get() & ~Flag::BassHighQ);
    DeriveGlobalValues(OnAirSet, Path);
    if (field != &GlobalParams::BypassAll)
        Edited = true;
}

bool ProcessingModule::ChangeFlag(int32_t flag, bool on)
{
    GlobalParams& g = OnAirSet.Global;
    if (flag == Flag::BassHighQ && on && g.BassEqGainDb.get() < 7) {
        g.Flags.set(g.Flags.get() & ~Flag::BassHighQ);
        return false;
    }
    g.Flags.set(on ? g.Flags.get() | flag : g.Flags.get() & ~flag);
    DeriveGlobalValues(OnAirSet, Path);
    if (flag != Flag::ShowComposite)
        Edited = true;
    return on;
}

void ProcessingModule::ChangeSection(int band, int section, Param SectionParams::*field, int32_t value)
{
    if (band < 0 || band >= kBandCount || section < 0 || section >= kSectionCount)
        return;
    if (band >= kMultibandCount)
        section = Compressor;
    Edited = true;
    if (field != &SectionParams::BandGainTenthDb) {
        SectionParams& record = OnAirSet.record(band, section);
        (record.*field).set(value);
        DeriveSectionCoefficients(record, section, Path.Gains.record(band, section));
        return;
    }
    if (band < kMultibandCount) {
        OnAirSet.record(band, Compressor).BandGainTenthDb.set(value);
        DeriveBandOutputGain(OnAirSet, band, Path.Settings);
        return;
    }
    // One clip threshold for both dual-band bands.
    OnAirSet.record(kBandHF, Compressor).BandGainTenthDb.set(value);
    OnAirSet.record(kBandLF, Compressor).BandGainTenthDb.set(value);
    DeriveClipLevels(OnAirSet, Path.Settings);
}

void ProcessingModule::CopyToAllBands(int band, int section, Param SectionParams::*field)
{
    if (band < 0 || band >= kMultibandCount || section < 0 || section >= kSectionCount)
        return;
    if (field == &SectionParams::BandGainTenthDb)
        section = Compressor;
    const int32_t value = (OnAirSet.record(band, section).*field).get();
    for (int other = 0; other < kMultibandCount; ++other)
        ChangeSection(other, section, field, value);
}

void ProcessingModule::SetBandMute(int band, bool muted)
{
    Path.Settings.BandMute[band].set(muted ? 1 : 0);
}

} // namespace qex
