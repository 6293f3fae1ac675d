// Parameter sets, preset files and the panel's preset actions, on a module whose host lives in
// a temporary folder.

#include "dsp/conversions.h"
#include "module_settings.h"
#include "module_test_support.h"
#include "preset_file.h"
#include "processing_module.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

namespace qex {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempFolder;
using test::WriteFileBytes;

int32_t IntAt(const std::vector<char>& bytes, size_t offset)
{
    int32_t value;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

class PresetTest : public ::testing::Test {
protected:
    PresetTest() { fs::create_directory(folder.path() / "PRESETS"); }

    std::unique_ptr<ProcessingModule> NewModule()
    {
        return std::make_unique<ProcessingModule>(test::HostExecutableIn(folder.path()));
    }
    fs::path Preset(int n) const { return PresetFilePath(folder.path(), n); }
    fs::path Settings() const { return ModuleSettingsPath(test::HostExecutableIn(folder.path())); }

    // A valid preset file made from the defaults with one change.
    void WritePreset(int n, const std::function<void(ParameterSet&)>& change)
    {
        ParameterSet set = DefaultParameterSet();
        change(set);
        ASSERT_TRUE(WritePresetFile(Preset(n), set));
    }

    TempFolder folder;
};

TEST_F(PresetTest, FirstStartCreatesTheDefaultPresetZero)
{
    auto module = NewModule();
    EXPECT_EQ(module->Init(), 0);
    const auto bytes = ReadFileBytes(Preset(0));
    ASSERT_EQ(bytes.size(), 18418u);
    EXPECT_STREQ(bytes.data(), "2.0");
    EXPECT_EQ(IntAt(bytes, 10), 0x00075AB3);
    EXPECT_STREQ(bytes.data() + 17402, "DEFAULT");
    EXPECT_EQ(IntAt(bytes, 17466), 25);       // AgcMaxGainDb
    EXPECT_EQ(IntAt(bytes, 14 + 20), 40);      // band 0 Compressor Ratio
    EXPECT_EQ(IntAt(bytes, 14 + 18 * 828 + 0), 40); // band 6 Compressor Attack1Ms
    EXPECT_EQ(IntAt(bytes, 17578), 1);          // Flags: phase rotator
    EXPECT_EQ(module->OnAirNumber, 0);
    EXPECT_EQ(module->OnAirSet.Global.MaxGainLevel.get(), 1842);

    module->Quit();
    EXPECT_EQ(ReadModuleSetting(Settings(), "ProcessNumber", -5), 0);
    // The file kept on disk is the one created, not the applied set.
    EXPECT_EQ(IntAt(ReadFileBytes(Preset(0)), 17470), 0);
}

TEST_F(PresetTest, OutOfRangeProcessNumberRebuildsPresetZero)
{
    WritePreset(0, [](ParameterSet& s) { s.Global.OverdriveDb.set(3); });
    WriteModuleSetting(Settings(), "ProcessNumber", 250);
    auto module = NewModule();
    module->Init();
    EXPECT_EQ(module->OnAirNumber, 0);
    EXPECT_EQ(module->OnAirSet.Global.OverdriveDb.get(), 10);
    EXPECT_EQ(IntAt(ReadFileBytes(Preset(0)), 17478), 10);
    module->Quit();
    EXPECT_EQ(ReadModuleSetting(Settings(), "ProcessNumber", -5), 0);
}

TEST_F(PresetTest, NegativeProcessNumberRebuildsPresetZero)
{
    WritePreset(0, [](ParameterSet& s) { s.Global.OverdriveDb.set(3); });
    WriteModuleSetting(Settings(), "ProcessNumber", -3);
    auto module = NewModule();
    module->Init();
    EXPECT_EQ(module->OnAirNumber, 0);
    EXPECT_EQ(module->BrowseNumber, 0);
    EXPECT_EQ(module->OnAirSet.Global.OverdriveDb.get(), 10);
    EXPECT_EQ(IntAt(ReadFileBytes(Preset(0)), 17478), 10);
    module->Quit();
    EXPECT_EQ(ReadModuleSetting(Settings(), "ProcessNumber", -5), 0);
}

TEST_F(PresetTest, StartupLoadsTheStoredPresetAndForcesRatios)
{
    WritePreset(7, [](ParameterSet& s) {
        s.record(0, Compressor).Ratio.set(5);
        s.record(3, Limiter).Ratio.set(250);
        s.Global.OverdriveDb.set(17);
        s.Global.StereoDepthMs.set(21);
    });
    WriteModuleSetting(Settings(), "ProcessNumber", 7);
    auto module = NewModule();
    module->Init();
    EXPECT_EQ(module->OnAirNumber, 7);
    EXPECT_EQ(module->BrowseNumber, 7);
    EXPECT_EQ(module->OnAirSet.record(0, Compressor).Ratio.get(), 10);
    EXPECT_EQ(module->OnAirSet.record(3, Limiter).Ratio.get(), 100);
    EXPECT_EQ(module->OnAirSet.Global.OverdriveDb.get(), 17);
    EXPECT_EQ(module->OnAirSet.Global.StereoDepthMs.get(), 0);
    EXPECT_EQ(module->Path.Gains.record(0, Compressor).exponent.get(), 0.0);
}

TEST_F(PresetTest, UnusablePresetFilesFallBackToDefaults)
{
    struct Case {
        const char* what;
        std::function<void(const fs::path&)> make;
        bool rewritten;
    };
    const std::vector<Case> cases = {
        {"missing", [](const fs::path&) {}, true},
        {"shorter than its marker", [](const fs::path& f) { WriteFileBytes(f, "2.0\0\0\0\0\0\0\0\xB3\x5A", 12); },
         true},
        {"wrong marker",
         [](const fs::path& f) {
             std::vector<char> bytes(18418, 0);
             bytes[10] = 1;
             WriteFileBytes(f, bytes.data(), bytes.size());
         },
         true},
        {"read-only",
         [](const fs::path& f) {
             ParameterSet set = DefaultParameterSet();
             set.Global.OverdriveDb.set(3);
             WritePresetFile(f, set);
             fs::permissions(f, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
         },
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder host;
        fs::create_directory(host.path() / "PRESETS");
        const fs::path file = PresetFilePath(host.path(), 4);
        c.make(file);
        const auto before = ReadFileBytes(file);
        WriteModuleSetting(ModuleSettingsPath(test::HostExecutableIn(host.path())), "ProcessNumber", 4);

        auto module = std::make_unique<ProcessingModule>(test::HostExecutableIn(host.path()));
        module->Init();
        EXPECT_EQ(module->OnAirNumber, 4);
        EXPECT_EQ(module->OnAirSet.Global.OverdriveDb.get(), 10);
        EXPECT_EQ(NameOf(module->OnAirSet.Global), "DEFAULT");
        const auto after = ReadFileBytes(file);
        if (c.rewritten) {
            ASSERT_EQ(after.size(), 18418u);
            EXPECT_STREQ(after.data() + 17402, "DEFAULT");
        } else {
            EXPECT_EQ(after, before);
        }
    }
}

TEST_F(PresetTest, WithoutAPresetsFolderNothingIsCreated)
{
    fs::remove(folder.path() / "PRESETS");
    auto module = NewModule();
    EXPECT_EQ(module->Init(), 0);
    EXPECT_EQ(NameOf(module->OnAirSet.Global), "DEFAULT");
    EXPECT_FALSE(fs::exists(folder.path() / "PRESETS"));
    module->Save("ANY");
    EXPECT_FALSE(fs::exists(folder.path() / "PRESETS"));
}

TEST_F(PresetTest, ShortFileWithMarkerKeepsTheFieldsBeyondItsEnd)
{
    WritePreset(3, [](ParameterSet& s) {
        s.record(0, Compressor).Attack1Ms.set(77);
        s.Global.OverdriveDb.set(22);
    });
    const auto full = ReadFileBytes(Preset(3));
    // Up to and including record 0's Attack1Ms.
    WriteFileBytes(Preset(3), full.data(), 18);

    auto module = NewModule();
    module->Init();
    module->BrowseSet.Global.OverdriveDb.set(5);
    module->BrowseSet.record(0, Compressor).Release1Ms.set(1234);
    EXPECT_TRUE(module->LoadBrowsePreset(3));
    EXPECT_EQ(module->BrowseSet.record(0, Compressor).Attack1Ms.get(), 77);
    EXPECT_EQ(module->BrowseSet.record(0, Compressor).Release1Ms.get(), 1234);
    EXPECT_EQ(module->BrowseSet.Global.OverdriveDb.get(), 5);
}

TEST_F(PresetTest, BrowsingStopsAtTheEndsAndShowsEmptySlots)
{
    WritePreset(1, [](ParameterSet& s) { SetName(s.Global, "ONE"); });
    auto module = NewModule();
    module->Init();

    module->BrowseDown();
    EXPECT_EQ(module->BrowseNumber, 0);
    EXPECT_TRUE(module->BrowseLoaded);
    module->BrowseUp();
    EXPECT_EQ(module->BrowseNumber, 1);
    EXPECT_EQ(NameOf(module->BrowseSet.Global), "ONE");
    module->BrowseUp(8);
    EXPECT_EQ(module->BrowseNumber, 9);
    EXPECT_FALSE(module->BrowseLoaded);
    EXPECT_EQ(NameOf(module->BrowseSet.Global), "EMPTY");
    module->BrowseUp(200);
    EXPECT_EQ(module->BrowseNumber, 100);
    module->BrowseDown(500);
    EXPECT_EQ(module->BrowseNumber, 0);
}

TEST_F(PresetTest, BrowsingShowsUnusableFilesAsEmptyAndLoadRefusesThem)
{
    WritePreset(2, [](ParameterSet& s) {
        SetName(s.Global, "LOCKED");
        s.Global.OverdriveDb.set(3);
    });
    fs::permissions(Preset(2), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    WriteFileBytes(Preset(3), "2.0\0\0\0\0\0\0\0\xB3\x5A", 12); // too short for its marker

    auto module = NewModule();
    module->Init();
    for (const int n : {2, 3}) {
        SCOPED_TRACE(n);
        module->BrowseUp(n - module->BrowseNumber);
        EXPECT_EQ(module->BrowseNumber, n);
        EXPECT_FALSE(module->BrowseLoaded);
        EXPECT_EQ(NameOf(module->BrowseSet.Global), "EMPTY");
        module->Load();
        EXPECT_EQ(module->OnAirNumber, 0);
        EXPECT_EQ(module->OnAirSet.Global.OverdriveDb.get(), 10);
    }
    EXPECT_STREQ(ReadFileBytes(Preset(2)).data() + 17402, "LOCKED");
}

TEST_F(PresetTest, LoadAfterBrowsingToAnEmptySlotDoesNothing)
{
    auto module = NewModule();
    module->Init();
    module->ChangeGlobal(&GlobalParams::OverdriveDb, 4);
    EXPECT_TRUE(module->Edited);
    module->BrowseUp(5);
    module->Load();
    EXPECT_EQ(module->OnAirNumber, 0);
    EXPECT_EQ(module->OnAirSet.Global.OverdriveDb.get(), 4);
    EXPECT_TRUE(module->Edited);
}

TEST_F(PresetTest, SaveWritesTheOnAirSetUnderTheBrowsedNumber)
{
    auto module = NewModule();
    module->Init();
    module->ChangeGlobal(&GlobalParams::DensityDb, -7);
    module->BrowseUp(12);
    module->Save("ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(module->OnAirNumber, 12);
    EXPECT_FALSE(module->Edited);
    EXPECT_EQ(NameOf(module->OnAirSet.Global), "ABCDEFGHIJKLMNOPQRS");

    const auto bytes = ReadFileBytes(Preset(12));
    ASSERT_EQ(bytes.size(), 18418u);
    EXPECT_STREQ(bytes.data() + 17402, "ABCDEFGHIJKLMNOPQRS");
    EXPECT_EQ(IntAt(bytes, 17546), -7);

    module->Quit();
    EXPECT_EQ(ReadModuleSetting(Settings(), "ProcessNumber", -5), 12);
}

TEST_F(PresetTest, LoadPutsTheBrowsedPresetOnAir)
{
    WritePreset(2, [](ParameterSet& s) {
        s.Global.StereoDepthMs.set(10);
        s.Global.OverdriveDb.set(0);
        s.record(1, Compressor).BandGainTenthDb.set(-35);
        s.record(4, Expander).Attack1Ms.set(100);
    });
    auto module = NewModule();
    module->Init();
    module->SetBandMute(3, true);
    module->BrowseUp(2);
    module->Load();
    EXPECT_EQ(module->OnAirNumber, 2);
    EXPECT_EQ(module->Path.Settings.StereoDelayLength.get(), 441);
    EXPECT_EQ(module->Path.Settings.OverdriveGain.get(), 32767 / 32768.0);
    EXPECT_EQ(module->Path.Settings.BandOutputGain[1].get(), 21899);
    EXPECT_EQ(module->Path.Gains.record(4, Expander).attack1.get(), dsp::TimeCoef(100));
    EXPECT_EQ(module->Path.Settings.BandMute[3].get(), 0);
}

TEST_F(PresetTest, LoadedLengthsStayWithinTheDelayLines)
{
    // Presets from files are not range checked; the delay lengths must still fit their lines.
    WritePreset(5, [](ParameterSet& s) {
        s.Global.StereoDepthMs.set(500);
        s.Global.LookaheadMs.set(1000);
    });
    auto module = NewModule();
    module->Init();
    module->BrowseUp(5);
    module->Load();
    EXPECT_EQ(module->Path.Settings.StereoDelayLength.get(), 882);
    EXPECT_EQ(module->Path.Settings.LookaheadLength.get(), 4999);
    std::vector<int16_t> samples = test::StereoSine(10000, 440, 8000, 6000);
    module->ModifySamples(samples.data(), 10000, 16, 2, 44100);
}

TEST_F(PresetTest, HandEditedLevelsBeyondThePanelsRangesKeepTheGainsFinite)
{
    // A threshold 100 dB below full scale truncates to a level of 0 and a 100 dB maximum AGC
    // gain to an envelope floor of 0; both are divided by.
    WritePreset(6, [](ParameterSet& s) {
        for (auto& record : s.Records)
            record.Threshold.set(1000);
        s.Global.AgcMaxGainDb.set(100);
        s.Global.ExpanderOn.set(1);
        s.Global.LimiterOn.set(1);
    });
    WriteModuleSetting(Settings(), "ProcessNumber", 6);
    auto module = NewModule();
    module->Init();
    EXPECT_EQ(module->Path.Gains.record(0, Compressor).threshold.get(), 1.0);
    EXPECT_EQ(module->Path.Settings.AgcEnvelopeFloor.get(), 1.0);

    // Silence leaves the band levels at 0, the level the envelopes start from.
    std::vector<int16_t> samples(2 * 4096, 0);
    const auto tone = test::StereoSine(4096, 440, 8000, 6000);
    samples.insert(samples.end(), tone.begin(), tone.end());
    module->ChangeFlag(Flag::FourBands, true);
    module->ModifySamples(samples.data(), 8192, 16, 2, 44100);
    for (int band = 0; band < kBandCount; ++band) {
        EXPECT_TRUE(std::isfinite(module->Path.Gains.BandGain[band].get())) << band;
        for (int section = 0; section < kSectionCount; ++section)
            EXPECT_TRUE(std::isfinite(module->Path.Gains.record(band, section).gain.get())) << band << section;
    }
    EXPECT_TRUE(std::isfinite(module->Path.Meters.AgcMasterGain.get()));
    EXPECT_GT(module->Path.Meters.OutputPeak.get(), 0.0);
}

TEST_F(PresetTest, HandEditedTimesBeyondThePanelsRangesStayUsable)
{
    struct Case {
        int32_t holdMs;
        uint32_t holdLength;
    };
    for (const Case c : {Case{60000, 2646000}, Case{INT32_MAX, UINT32_MAX}, Case{-20, 0}}) {
        SCOPED_TRACE(c.holdMs);
        // Negative attack and release times everywhere: a time cannot be negative, so they
        // count as 0 ms instead of making the followers grow without bound.
        WritePreset(6, [&](ParameterSet& s) {
            for (auto& record : s.Records) {
                record.Attack1Ms.set(-5);
                record.Release1Ms.set(-300);
                record.Attack2Ms.set(-1);
                record.Release2Ms.set(-20000);
            }
            s.Global.HoldMs.set(c.holdMs);
            s.Global.MasterAttackMs.set(-100);
            s.Global.MasterReleaseMs.set(-2000);
            s.Global.BassAttackMs.set(-100);
            s.Global.BassReleaseMs.set(-1000);
            s.Global.ExpanderOn.set(1);
            s.Global.LimiterOn.set(1);
        });
        WriteModuleSetting(Settings(), "ProcessNumber", 6);
        auto module = NewModule();
        module->Init();
        EXPECT_EQ(module->Path.Gains.record(0, Compressor).holdLength.get(), c.holdLength);
        EXPECT_EQ(module->Path.Gains.record(kBandLF, Compressor).holdLength.get(), 500u);
        EXPECT_EQ(module->Path.Gains.record(2, Compressor).release2.get(), 0.0);
        EXPECT_EQ(module->Path.Settings.MasterRelease.get(), 0.0);

        std::vector<int16_t> samples = test::StereoSine(2 * 44100, 440, 8000, 6000);
        module->ModifySamples(samples.data(), 2 * 44100, 16, 2, 44100);
        for (int band = 0; band < kBandCount; ++band) {
            EXPECT_TRUE(std::isfinite(module->Path.Gains.BandGain[band].get())) << band;
            for (int section = 0; section < kSectionCount; ++section) {
                const dsp::SectionRecord& r = module->Path.Gains.record(band, section);
                EXPECT_TRUE(std::isfinite(r.gain.get())) << band << section;
                EXPECT_LE(r.envelope, 1e6) << band << section;
            }
        }
        EXPECT_TRUE(std::isfinite(module->Path.Meters.AgcMasterGain.get()));
        EXPECT_GT(module->Path.Meters.OutputPeak.get(), 1000.0);
    }
}

TEST_F(PresetTest, PanelChangesRefreshTheirDerivedValues)
{
    auto module = NewModule();
    module->Init();

    module->ChangeSection(2, Limiter, &SectionParams::BandGainTenthDb, -35);
    EXPECT_EQ(module->OnAirSet.record(2, Compressor).BandGainTenthDb.get(), -35);
    EXPECT_EQ(module->Path.Settings.BandOutputGain[2].get(), 21899);

    module->ChangeSection(kBandLF, Compressor, &SectionParams::BandGainTenthDb, 0);
    EXPECT_EQ(module->OnAirSet.record(kBandHF, Compressor).BandGainTenthDb.get(), 0);
    EXPECT_EQ(module->Path.Settings.ClipLevelHF.get(), 32767 - 2148);
    EXPECT_EQ(module->Path.Settings.ClipLevelLF.get(), 32767 - 2148);

    module->ChangeSection(3, Expander, &SectionParams::Threshold, 100);
    EXPECT_EQ(module->Path.Gains.record(3, Expander).threshold.get(), 10361.0);

    module->ChangeGlobal(&GlobalParams::HoldMs, 100);
    EXPECT_EQ(module->Path.Gains.record(0, Compressor).holdLength.get(), 4410u);
    EXPECT_EQ(module->Path.Gains.record(kBandHF, Compressor).holdLength.get(), 500u);

    module->Edited = false;
    module->ChangeGlobal(&GlobalParams::BypassAll, 1);
    EXPECT_FALSE(module->Edited);
    EXPECT_FALSE(module->ChangeFlag(Flag::ShowComposite, false));
    EXPECT_FALSE(module->Edited);
}

TEST_F(PresetTest, HighQNeedsABoostOfSevenDecibels)
{
    auto module = NewModule();
    module->Init();
    module->ChangeGlobal(&GlobalParams::BassEqGainDb, 6);
    module->Edited = false;
    EXPECT_FALSE(module->ChangeFlag(Flag::BassHighQ, true));
    EXPECT_FALSE(module->OnAirSet.Global.has(Flag::BassHighQ));
    EXPECT_FALSE(module->Edited);

    module->ChangeGlobal(&GlobalParams::BassEqGainDb, 12);
    EXPECT_TRUE(module->ChangeFlag(Flag::BassHighQ, true));
    EXPECT_TRUE(module->OnAirSet.Global.has(Flag::BassHighQ));
    module->ChangeGlobal(&GlobalParams::BassEqGainDb, 5);
    EXPECT_FALSE(module->OnAirSet.Global.has(Flag::BassHighQ));
}

TEST(ParameterSet, PublishingCopiesEveryByte)
{
    ParameterSet from = DefaultParameterSet();
    for (size_t i = 0; i < sizeof from; ++i)
        reinterpret_cast<unsigned char*>(&from)[i] = static_cast<unsigned char>(i * 7 + 3);
    ParameterSet to{};
    PublishParameterSet(to, from);
    EXPECT_EQ(std::memcmp(&to, &from, sizeof to), 0);
}

} // namespace
} // namespace qex
