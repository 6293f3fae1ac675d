// Parameter sets, preset files and the panel's preset actions, on a module whose host lives in
// a temporary folder.

#include "dsp/conversions.h"
#include "module_settings.h"
#include "module_test_support.h"
#include "preset_file.h"
#include "processing_module.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>
#include <memory>
#include <span>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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

    // A preset whose record 0 has Attack1Ms 77 and whose overdrive is 22 dB, cut short after
    // that Attack1Ms: the overdrive is missing.
    void WriteShortPreset(int n)
    {
        WritePreset(n, [](ParameterSet& s) {
            s.record(0, Compressor).Attack1Ms.set(77);
            s.Global.OverdriveDb.set(22);
        });
        const auto full = ReadFileBytes(Preset(n));
        WriteFileBytes(Preset(n), full.data(), 18);
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
    EXPECT_EQ(IntAt(bytes, 17466), 25);             // AgcMaxGainDb
    EXPECT_EQ(IntAt(bytes, 14 + 20), 40);           // band 0 Compressor Ratio
    EXPECT_EQ(IntAt(bytes, 14 + 18 * 828 + 0), 40); // band 6 Compressor Attack1Ms
    EXPECT_EQ(IntAt(bytes, 17578), 1);              // Flags: phase rotator
    EXPECT_EQ(module->OnAirNumber, 0);
    EXPECT_EQ(module->OnAirSet.Global.MaxGainLevel.get(), 1842);

    module->Quit();
    EXPECT_EQ(ReadModuleSetting(Settings(), "ProcessNumber", -5), 0);
    // The file kept on disk is the one created, not the applied set.
    EXPECT_EQ(IntAt(ReadFileBytes(Preset(0)), 17470), 0);
}

TEST_F(PresetTest, AnOutOfRangeProcessNumberLoadsPresetZeroWithoutRewritingIt)
{
    WritePreset(0, [](ParameterSet& s) { s.Global.OverdriveDb.set(3); });
    const auto stored = ReadFileBytes(Preset(0));
    for (const int number : {150, 250, -3}) {
        SCOPED_TRACE(number);
        WriteModuleSetting(Settings(), "ProcessNumber", number);
        auto module = NewModule();
        module->Init();
        EXPECT_EQ(module->OnAirNumber, 0);
        EXPECT_EQ(module->BrowseNumber, 0);
        EXPECT_EQ(module->OnAirSet.Global.OverdriveDb.get(), 3);
        EXPECT_EQ(ReadFileBytes(Preset(0)), stored);
        module->Quit();
        EXPECT_EQ(ReadModuleSetting(Settings(), "ProcessNumber", -5), 0);
    }
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

TEST_F(PresetTest, UnusablePresetFilesFallBackToDefaultsAndDamagedOnesAreKeptAside)
{
    enum class Kept { Nothing, InPlace, Aside };
    struct Case {
        const char* what;
        std::function<void(const fs::path&)> make;
        Kept kept;
    };
    const std::vector<Case> cases = {
        {"missing", [](const fs::path&) {}, Kept::Nothing},
        {"shorter than its marker", [](const fs::path& f) { WriteFileBytes(f, "2.0\0\0\0\0\0\0\0\xB3\x5A", 12); },
         Kept::Aside},
        {"wrong marker",
         [](const fs::path& f) {
             std::vector<char> bytes(18418, 0);
             bytes[10] = 1;
             WriteFileBytes(f, bytes.data(), bytes.size());
         },
         Kept::Aside},
        {"read-only",
         [](const fs::path& f) {
             ParameterSet set = DefaultParameterSet();
             set.Global.OverdriveDb.set(3);
             WritePresetFile(f, set);
             fs::permissions(f, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
         },
         Kept::InPlace},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder host;
        fs::create_directory(host.path() / "PRESETS");
        const fs::path file = PresetFilePath(host.path(), 4);
        const fs::path aside = file.string() + ".damaged";
        c.make(file);
        const auto before = ReadFileBytes(file);
        WriteModuleSetting(ModuleSettingsPath(test::HostExecutableIn(host.path())), "ProcessNumber", 4);

        auto module = std::make_unique<ProcessingModule>(test::HostExecutableIn(host.path()));
        module->Init();
        EXPECT_EQ(module->OnAirNumber, 4);
        EXPECT_EQ(module->OnAirSet.Global.OverdriveDb.get(), 10);
        EXPECT_EQ(NameOf(module->OnAirSet.Global), "DEFAULT");
        const auto after = ReadFileBytes(file);
        if (c.kept == Kept::InPlace) {
            EXPECT_EQ(after, before);
            continue;
        }
        ASSERT_EQ(after.size(), 18418u);
        EXPECT_STREQ(after.data() + 17402, "DEFAULT");
        EXPECT_EQ(fs::exists(aside), c.kept == Kept::Aside);
        if (c.kept == Kept::Aside) {
            EXPECT_EQ(ReadFileBytes(aside), before);
        }
    }
}

TEST_F(PresetTest, ASecondDamagedFileIsKeptBesideTheFirst)
{
    WriteFileBytes(Preset(0), "garbage", 7);
    NewModule()->Init();
    WriteFileBytes(Preset(0), "more garbage", 12);
    NewModule()->Init();
    EXPECT_EQ(ReadFileBytes(Preset(0).string() + ".damaged").size(), 7u);
    EXPECT_EQ(ReadFileBytes(Preset(0).string() + ".damaged.2").size(), 12u);
}

TEST_F(PresetTest, AShortOnAirPresetIsReadOverTheDefaults)
{
    WriteShortPreset(3);
    WriteModuleSetting(Settings(), "ProcessNumber", 3);

    auto module = NewModule();
    module->Init();
    EXPECT_EQ(module->OnAirNumber, 3);
    EXPECT_EQ(module->OnAirSet.record(0, Compressor).Attack1Ms.get(), 77);
    EXPECT_EQ(module->OnAirSet.Global.OverdriveDb.get(), 10);
    EXPECT_EQ(module->OnAirSet.Global.OutLevelPct.get(), 100);
    EXPECT_EQ(ReadFileBytes(Preset(3)).size(), 18u) << "a valid head is not rebuilt";
    std::vector<int16_t> samples = test::StereoSine(8192, 440, 8000, 6000);
    module->ModifySamples(samples.data(), 8192, 16, 2, 44100);
    EXPECT_GT(module->Path.Meters.OutputPeak.get(), 1000.0);
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
    WriteShortPreset(3);

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

TEST_F(PresetTest, AfterSaveLoadKeepsWhatWasSaved)
{
    WritePreset(5, [](ParameterSet& s) { s.Global.OverdriveDb.set(3); });
    auto module = NewModule();
    module->Init();
    module->BrowseUp(5);
    module->ChangeGlobal(&GlobalParams::OverdriveDb, 20);
    module->Save("MINE");
    module->Load();
    EXPECT_EQ(module->OnAirSet.Global.OverdriveDb.get(), 20);
    EXPECT_EQ(NameOf(module->BrowseSet.Global), "MINE");
}

// Runs a Save in a child process whose files may not grow beyond 4 KiB, as on a full disk; with
// crash set the child is killed by the limit in the middle of writing, as in a power cut.
int SaveWithFileSizeLimit(ProcessingModule& module, bool crash)
{
    const pid_t child = ::fork();
    if (child == 0) {
        const rlimit noCore{0, 0};
        const rlimit small{4096, 4096};
        ::setrlimit(RLIMIT_CORE, &noCore);
        ::signal(SIGXFSZ, crash ? SIG_DFL : SIG_IGN);
        ::setrlimit(RLIMIT_FSIZE, &small);
        module.Save("NEW");
        // What the panel would show after the failed write.
        ::_exit(module.OnAirNumber == 0 && module.Edited ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return status;
}

TEST_F(PresetTest, ASaveCutShortLeavesTheStoredPresetAsItWas)
{
    WritePreset(5, [](ParameterSet& s) { SetName(s.Global, "KEEP ME"); });
    const auto stored = ReadFileBytes(Preset(5));
    auto module = NewModule();
    module->Init();
    module->BrowseUp(5);
    module->ChangeGlobal(&GlobalParams::OverdriveDb, 20);

    const int full = SaveWithFileSizeLimit(*module, false);
    EXPECT_TRUE(WIFEXITED(full) && WEXITSTATUS(full) == 0) << "the on-air number moved to a slot without the set";
    const int killed = SaveWithFileSizeLimit(*module, true);
    EXPECT_TRUE(WIFSIGNALED(killed) && WTERMSIG(killed) == SIGXFSZ);

    EXPECT_EQ(ReadFileBytes(Preset(5)), stored);
    module->BrowseUp(0);
    EXPECT_TRUE(module->BrowseLoaded);
    EXPECT_EQ(NameOf(module->BrowseSet.Global), "KEEP ME");
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

TEST_F(PresetTest, HandEditedValuesArePulledIntoTheControlsRangesAndTheOutputStaysSound)
{
    struct Case {
        const char* what;
        int32_t wild;
    };
    // Each case writes one wild value into every field; fields with a slider must end up within
    // it and the output must be neither silent, nor a full-scale square, nor not a number.
    for (const Case c : {Case{"huge", 6000}, Case{"largest", INT32_MAX}, Case{"negative", -20000}}) {
        SCOPED_TRACE(c.what);
        WritePreset(6, [&](ParameterSet& s) {
            for (auto& record : s.Records) {
                record.Attack1Ms.set(c.wild);
                record.Release1Ms.set(c.wild);
                record.Attack2Ms.set(c.wild);
                record.Release2Ms.set(c.wild);
                record.Threshold.set(c.wild);
                record.Ratio.set(c.wild);
            }
            for (Param* field :
                 {&s.Global.BassEqGainDb, &s.Global.ClipDrivePct, &s.Global.HoldMs, &s.Global.LookaheadMs,
                  &s.Global.StereoDepthMs, &s.Global.AgcMaxGainDb, &s.Global.MasterReleaseMs, &s.Global.BassAttackMs,
                  &s.Global.OverdriveDb, &s.Global.MasterBassMixPct})
                field->set(c.wild);
            // A level below 0 % is pulled to 0 %, which the operator may set: silence by choice.
            if (c.wild > 0)
                s.Global.OutLevelPct.set(c.wild);
            s.Global.ExpanderOn.set(c.wild);
            s.Global.LimiterOn.set(c.wild);
        });
        auto module = NewModule();
        module->Init();
        module->BrowseUp(6);
        module->Load();
        const GlobalParams& g = module->OnAirSet.Global;
        const bool high = c.wild > 0;
        EXPECT_EQ(g.BassEqGainDb.get(), high ? 12 : 0);
        EXPECT_EQ(g.ClipDrivePct.get(), high ? 100 : 40);
        EXPECT_EQ(g.HoldMs.get(), high ? 500 : 0);
        EXPECT_EQ(g.ExpanderOn.get(), 1);
        EXPECT_EQ(module->OnAirSet.record(2, Limiter).Threshold.get(), high ? 300 : -200);
        EXPECT_EQ(module->OnAirSet.record(kBandLF, Expander).Ratio.get(), high ? 100 : 10);
        EXPECT_EQ(module->Path.Settings.StereoDelayLength.get(), high ? 882 : 0);
        EXPECT_EQ(module->Path.Settings.LookaheadLength.get(), high ? 4410 : 0);

        std::vector<int16_t> samples = test::StereoSine(2 * 44100, 440, 8000, 6000);
        module->ModifySamples(samples.data(), 2 * 44100, 16, 2, 44100);
        for (int band = 0; band < kBandCount; ++band) {
            EXPECT_TRUE(std::isfinite(module->Path.Gains.BandGain[band].get())) << band;
            for (int section = 0; section < kSectionCount; ++section)
                EXPECT_TRUE(std::isfinite(module->Path.Gains.record(band, section).gain.get())) << band << section;
        }
        const auto last = std::span(samples).last(4410);
        const auto [low, high_] = std::minmax_element(last.begin(), last.end());
        EXPECT_GT(*high_ - *low, 100) << "silence";
        const auto fullScale = std::count_if(last.begin(), last.end(), [](int16_t v) { return std::abs(v) >= 32000; });
        EXPECT_LT(fullScale, static_cast<long>(last.size() / 2)) << "a square wave";
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

    // The dual-band bands have only their Compressor record on the panel; other indexes are refused.
    module->ChangeSection(kBandHF, Limiter, &SectionParams::Attack1Ms, 33);
    EXPECT_EQ(module->OnAirSet.record(kBandHF, Compressor).Attack1Ms.get(), 33);
    EXPECT_EQ(module->OnAirSet.record(kBandHF, Limiter).Attack1Ms.get(), 5);
    const ParameterSet before = module->OnAirSet;
    module->Edited = false;
    for (const auto& [band, section] : {std::pair{kBandCount, 0}, std::pair{-1, 0}, std::pair{0, kSectionCount}})
        module->ChangeSection(band, section, &SectionParams::Attack1Ms, 99);
    EXPECT_FALSE(module->Edited);
    EXPECT_EQ(std::memcmp(&before, &module->OnAirSet, sizeof before), 0);

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
