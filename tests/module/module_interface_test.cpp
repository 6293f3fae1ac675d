// The built module file, loaded by a host program that runs from a temporary folder, the way
// the plug-in host loads it.

#include "module_settings.h"
#include "module_test_support.h"
#include "parameter_set.h"
#include "preset_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <random>

namespace qex {
namespace {

namespace fs = std::filesystem;

// Music-like: a few tones under slow envelopes plus noise, with a loud burst and a quiet
// passage so that attacks, holds, releases and the gate all take part.
std::vector<int16_t> ProgramSignal(int frames)
{
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 120.0);
    std::vector<int16_t> samples(static_cast<size_t>(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        const double t = i / 44100.0;
        const double swell = i < frames / 3 ? 1.0 : i < frames * 2 / 3 ? 0.02 : 1.6;
        double left = noise(random), right = noise(random);
        const double tones[][3] = {
            {60, 6000, 0.9}, {220, 4000, 2.3}, {1100, 2500, 0.6}, {5200, 1200, 4.1}, {11000, 600, 1.1}};
        for (const auto& tone : tones) {
            const double v = swell * tone[1] * (0.6 + 0.4 * std::sin(2 * std::numbers::pi * tone[2] * t)) *
                std::sin(2 * std::numbers::pi * tone[0] * t);
            left += v;
            right += v * (tone[0] < 1000 ? 1.0 : 0.5);
        }
        samples[2 * i] = static_cast<int16_t>(std::clamp(left, -32767.0, 32767.0));
        samples[2 * i + 1] = static_cast<int16_t>(std::clamp(right, -32767.0, 32767.0));
    }
    return samples;
}

class ModuleInterfaceTest : public ::testing::Test {
protected:
    ModuleInterfaceTest() { fs::create_directory(folder.path() / "PRESETS"); }

    // Runs samples through ModifySamples in buffers of the given sizes; returns the output.
    std::vector<int16_t> Process(const std::vector<int16_t>& samples, const std::vector<int>& sizes, int bits = 16,
                                 int channels = 2, int rate = 44100)
    {
        const fs::path in = folder.path() / "in.raw", out = folder.path() / "out.raw";
        test::WriteFileBytes(in, samples.data(), samples.size() * sizeof(int16_t));
        std::vector<std::string> args = {
            "process", in.string(), out.string(), std::to_string(bits), std::to_string(channels), std::to_string(rate)};
        for (const int size : sizes)
            args.push_back(std::to_string(size));
        result = test::RunHost(folder.path(), args);
        const auto bytes = test::ReadFileBytes(out);
        std::vector<int16_t> output(bytes.size() / sizeof(int16_t));
        std::memcpy(output.data(), bytes.data(), output.size() * sizeof(int16_t));
        return output;
    }

    // Puts a preset on air for the next start.
    void UsePreset(int n, const ParameterSet& set)
    {
        ASSERT_TRUE(WritePresetFile(PresetFilePath(folder.path(), n), set));
        WriteModuleSetting(ModuleSettingsPath(test::HostExecutableIn(folder.path())), "ProcessNumber", n);
    }

    test::TempFolder folder;
    std::map<std::string, std::string> result;
};

TEST_F(ModuleInterfaceTest, PublishesOneModuleThroughItsHeader)
{
    const auto records = test::RunHost(folder.path(), {"records"});
    EXPECT_EQ(records.at("exit"), "0");
    EXPECT_EQ(records.at("version"), "32");
    EXPECT_EQ(records.at("description"), "QEX");
    EXPECT_EQ(records.at("module_description"), "QEX");
    EXPECT_EQ(records.at("module0_again_same"), "1");
    EXPECT_EQ(records.at("module1_null"), "1");
    EXPECT_EQ(records.at("user_data_null"), "1");
}

TEST_F(ModuleInterfaceTest, InitialisesFromTheHostFolderAndQuitWritesItsSection)
{
    Process(ProgramSignal(4096), {1024});
    EXPECT_EQ(result.at("init"), "0");
    const auto preset = test::ReadFileBytes(PresetFilePath(folder.path(), 0));
    ASSERT_EQ(preset.size(), 18418u);
    ParameterSet expected = DefaultParameterSet();
    EXPECT_EQ(std::memcmp(preset.data() + 14, &expected, sizeof expected), 0);

    const fs::path settings = folder.path() / "qex.ini";
    EXPECT_EQ(ReadModuleSetting(settings, "ProcessNumber", -1), 0);
    EXPECT_EQ(ReadModuleSetting(settings, "Visible", -1), 1);
    EXPECT_EQ(ReadModuleSetting(settings, "Minimized", -1), 0);
}

TEST_F(ModuleInterfaceTest, ProcessesWithoutAllocating)
{
    const auto input = ProgramSignal(44100);
    const auto output = Process(input, {1024, 1, 333, 4096});
    EXPECT_EQ(result.at("lengths_kept"), "1");
    EXPECT_EQ(result.at("allocations"), "0");
    EXPECT_NE(output, input);
}

TEST_F(ModuleInterfaceTest, RefusedFormatsComeBackBitIdentical)
{
    const auto input = ProgramSignal(4096);
    EXPECT_EQ(Process(input, {1024}, 8), input);
    EXPECT_EQ(result.at("lengths_kept"), "1");
    EXPECT_EQ(Process(input, {1024}, 16, 2, 22050), input);
    EXPECT_EQ(Process(input, {1024}, 16, 0, 44100), input);
    EXPECT_NE(Process(input, {1024}, 16, 2, 48000), input);
}

// The output must not depend on how the stream is cut into buffers.
TEST_F(ModuleInterfaceTest, OutputDoesNotDependOnTheBufferSize)
{
    const auto check = [this](const char* what) {
        SCOPED_TRACE(what);
        const auto input = ProgramSignal(3 * 44100 / 2);
        const auto reference = Process(input, {1024});
        const auto cut = Process(input, {1, 333, 4096});
        ASSERT_EQ(reference.size(), cut.size());
        for (size_t i = 0; i < reference.size(); ++i)
            ASSERT_EQ(reference[i], cut[i]) << "sample " << i;
    };
    check("default preset");

    ParameterSet every = DefaultParameterSet();
    GlobalParams& g = every.Global;
    g.BassEqGainDb.set(12);
    g.ExpanderOn.set(1);
    g.LimiterOn.set(1);
    g.StereoLevelPct.set(100);
    g.StereoDepthMs.set(20);
    g.PreemphOn.set(1);
    g.Preemph50us.set(0);
    g.HoldMs.set(50);
    g.Flags.set(Flag::PhaseRotator | Flag::InputLpf15k | Flag::BassHighQ | Flag::TrackRms);
    UsePreset(3, every);
    check("every stage");

    g.Flags.set(g.Flags.get() | Flag::AmFilter | Flag::Mono | Flag::FourBands);
    g.IndependentGate.set(1);
    UsePreset(4, every);
    check("AM filter, mono, four bands");
}

} // namespace
} // namespace qex
