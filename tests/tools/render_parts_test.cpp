// The renderer's parts on their own: what the file reader makes of inputs the module cannot
// take, and the FM-protection self-test, which must fail where the output low-pass is bypassed.

#include "audio_file_reader.h"
#include "fm_selftest.h"
#include "preset_file.h"
#include "temp_folder.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <numbers>
#include <vector>

namespace fs = std::filesystem;

namespace {

void writeSound(const fs::path& file, int format, int rate, const std::vector<double>& mono)
{
    SF_INFO info{};
    info.format = format;
    info.channels = 1;
    info.samplerate = rate;
    SNDFILE* sound = sf_open(file.c_str(), SFM_WRITE, &info);
    ASSERT_NE(sound, nullptr) << sf_strerror(nullptr);
    sf_writef_double(sound, mono.data(), static_cast<sf_count_t>(mono.size()));
    sf_close(sound);
}

// Everything the reader answers, pulled as the chain pulls it.
std::vector<std::int16_t> pullAll(TMMAudioFileReader& reader)
{
    std::vector<char> storage(kWaveHdrSize + 4096);
    TMMWaveHdr* header = engineBufferHeader(storage.data());
    std::vector<std::int16_t> out;
    for (bool more = true; more;) {
        header->BufferLength = 4096;
        reader.BufferLoad(header, more);
        const auto* samples = reinterpret_cast<const std::int16_t*>(header->Data);
        out.insert(out.end(), samples, samples + header->BytesRecorded / 2);
    }
    return out;
}

std::vector<double> sine(int rate, int frames, double hz, double amplitude)
{
    std::vector<double> out(static_cast<std::size_t>(frames));
    for (int i = 0; i < frames; ++i)
        out[static_cast<std::size_t>(i)] = amplitude * std::sin(2.0 * std::numbers::pi * hz * i / rate);
    return out;
}

} // namespace

TEST(AudioFileReader, ResamplesDithersAndWidensWhatTheModuleCannotTake)
{
    TempFolder folder;

    // 48 kHz 24-bit: 44.1 kHz 16-bit of the same sine and length, within the dither's noise.
    writeSound(folder.path() / "48k.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 48000, sine(48000, 48000, 1000.0, 0.5));
    TMMAudioFileReader resampled((folder.path() / "48k.wav").string());
    EXPECT_TRUE(resampled.Converts());
    EXPECT_EQ(resampled.WaveFormat()->SamplesPerSec, 44100u);
    EXPECT_EQ(resampled.WaveFormat()->Channels, 1);
    const std::vector<std::int16_t> at44k = pullAll(resampled);
    EXPECT_NEAR(static_cast<double>(at44k.size()), 44100.0, 2.0);
    const std::vector<double> ideal = sine(44100, 44100, 1000.0, 0.5 * 32768.0);
    double worst = 0.0;
    for (std::size_t i = 1000; i + 1000 < std::min(at44k.size(), ideal.size()); ++i)
        worst = std::max(worst, std::abs(at44k[i] - ideal[i]));
    EXPECT_LT(worst, 3.0) << "a 1 kHz sine stays in place and in level";

    // 24-bit at 44.1 kHz, each value half a 16-bit step off: the dither decides up or down, so
    // both occur, and never by more than a step.
    std::vector<double> between(44100);
    for (std::size_t i = 0; i < between.size(); ++i)
        between[i] = (static_cast<double>(i % 200) - 100.0 + 0.5) / 32768.0;
    writeSound(folder.path() / "24bit.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 44100, between);
    TMMAudioFileReader dithered((folder.path() / "24bit.wav").string());
    const std::vector<std::int16_t> reduced = pullAll(dithered);
    ASSERT_EQ(reduced.size(), between.size());
    int up = 0, down = 0;
    for (std::size_t i = 0; i < reduced.size(); ++i) {
        const double error = reduced[i] - between[i] * 32768.0;
        EXPECT_LE(std::abs(error), 1.5) << i;
        (error > 0 ? up : down)++;
    }
    EXPECT_GT(up, 10000);
    EXPECT_GT(down, 10000);

    // 8-bit samples widen exactly, without dither.
    writeSound(folder.path() / "8bit.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 44100, sine(44100, 4410, 441.0, 0.5));
    TMMAudioFileReader widened((folder.path() / "8bit.wav").string());
    EXPECT_FALSE(widened.Converts());
    for (std::int16_t s : pullAll(widened))
        ASSERT_EQ(s % 256, 0);
}

TEST(FmSelfTest, PassesWithTheOutputLowPassAndFailsWhereItIsBypassed)
{
    qex::ParameterSet onAir = qex::DefaultParameterSet();
    onAir.Global.PreemphOn.set(1);
    const TFmSelfTest safe = runFmSelfTest(onAir);
    EXPECT_TRUE(safe.Passed()) << safe.Report();
    ASSERT_EQ(safe.Checks.size(), 6u);

    // Pre-emphasis off takes the de-emphasis path, which has no 15 kHz low-pass and no notch.
    const TFmSelfTest bypassed = runFmSelfTest(qex::DefaultParameterSet());
    EXPECT_FALSE(bypassed.Passed()) << bypassed.Report();
    for (const TFmCheck& check : bypassed.Checks) {
        const bool pilot = check.Quantity.find("19 kHz") != std::string::npos;
        const bool noiseAbove15k =
            check.Signal == "pink noise" && check.Quantity.find("above 15 kHz") != std::string::npos;
        if (pilot || noiseAbove15k) {
            EXPECT_FALSE(check.Passed()) << check.Signal << ", " << check.Quantity << '\n' << bypassed.Report();
        }
    }
    EXPECT_NE(bypassed.Report().find("FM protection: FAIL"), std::string::npos);
}

TEST(FmSelfTest, TakesTheStationsOnAirPresetAndSwitchesPreEmphasisOn)
{
    TempFolder folder;
    const fs::path host = folder.path() / "qex-render";
    qex::ParameterSet morning = qex::DefaultParameterSet();
    std::strcpy(morning.Global.Name.data(), "MORNING");
    morning.Global.Preemph50us.set(0); // 75 us, as in the Americas
    fs::create_directory(folder.path() / "PRESETS");
    ASSERT_TRUE(qex::WritePresetFile(qex::PresetFilePath(folder.path(), 3), morning));

    EXPECT_STREQ(onAirSetWithPreemphasis(host).Global.Name.data(), "DEFAULT") << "no settings: preset 0, here missing";
    std::ofstream(folder.path() / "qex.ini") << "[OrvianAudioProcessor]\nProcessNumber=3\n";
    const qex::ParameterSet onAir = onAirSetWithPreemphasis(host);
    EXPECT_STREQ(onAir.Global.Name.data(), "MORNING");
    EXPECT_EQ(onAir.Global.PreemphOn.get(), 1);
    EXPECT_EQ(onAir.Global.Preemph50us.get(), 0) << "the station's time constant is kept";
}
