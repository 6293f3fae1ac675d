// Speed of the loudness measurement and of the renderer's parts, as multiples of real time
// ("realtime_x"): the live meter's measuring (what the 25 ms tick does), the render report's
// measuring with true peak, the file reader with and without conversion, and one FM self-test.

#include "audio_file_reader.h"
#include "fm_selftest.h"
#include "loudness.h"

#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kSeconds = 10;

// Two tones and a little noise at about -12 dBFS, the channels slightly different.
std::vector<float> programme(int rate)
{
    std::vector<float> out(2 * static_cast<std::size_t>(kSeconds * rate));
    unsigned noise = 1;
    for (std::size_t i = 0; i < out.size() / 2; ++i) {
        const double t = static_cast<double>(i) / rate;
        noise = noise * 1664525u + 1013904223u;
        const double hiss = (static_cast<double>(noise >> 8) / (1 << 24) - 0.5) * 0.02;
        const double v =
            0.2 * std::sin(2 * std::numbers::pi * 220 * t) + 0.05 * std::sin(2 * std::numbers::pi * 3300 * t);
        out[2 * i] = static_cast<float>(v + hiss);
        out[2 * i + 1] = static_cast<float>(0.9 * v - hiss);
    }
    return out;
}

std::vector<std::int16_t> asSamples(const std::vector<float>& floats)
{
    std::vector<std::int16_t> out(floats.size());
    for (std::size_t i = 0; i < floats.size(); ++i)
        out[i] = static_cast<std::int16_t>(std::lround(floats[i] * 32767.0f));
    return out;
}

void setRealTime(benchmark::State& state, double audioSeconds)
{
    state.counters["realtime_x"] =
        benchmark::Counter(audioSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_Loudness(benchmark::State& state, TLoudnessMode mode)
{
    const std::vector<std::int16_t> samples = asSamples(programme(44100));
    for (auto _ : state) {
        TLoudness loudness(2, 44100, mode);
        loudness.Add(samples.data(), samples.size() / 2);
        benchmark::DoNotOptimize(loudness.Integrated());
        benchmark::DoNotOptimize(loudness.TruePeak());
    }
    setRealTime(state, kSeconds);
}
BENCHMARK_CAPTURE(BM_Loudness, live_meter, TLoudnessMode::Live)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Loudness, render_report, TLoudnessMode::Programme)->Unit(benchmark::kMillisecond);

// The reader decoding a whole WAV file as the renderer pulls it.
void BM_Reader(benchmark::State& state, int rate, int subtype)
{
    const fs::path file = fs::temp_directory_path() / ("qex-render-bench-" + std::to_string(::getpid()) + ".wav");
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | subtype;
    SNDFILE* out = sf_open(file.c_str(), SFM_WRITE, &info);
    const std::vector<float> signal = programme(rate);
    sf_writef_float(out, signal.data(), static_cast<sf_count_t>(signal.size() / 2));
    sf_close(out);

    std::vector<char> storage(kWaveHdrSize + 4096);
    TMMWaveHdr* header = engineBufferHeader(storage.data());
    for (auto _ : state) {
        TMMAudioFileReader reader(file.string());
        for (bool more = true; more;) {
            header->BufferLength = 4096;
            reader.BufferLoad(header, more);
            benchmark::DoNotOptimize(header->Data);
        }
    }
    setRealTime(state, kSeconds);
    fs::remove(file);
}
BENCHMARK_CAPTURE(BM_Reader, wav_16bit_44k1_unconverted, 44100, SF_FORMAT_PCM_16)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Reader, wav_24bit_48k_resampled_dithered, 48000, SF_FORMAT_PCM_24)->Unit(benchmark::kMillisecond);

void BM_FmSelfTest(benchmark::State& state)
{
    qex::ParameterSet set = qex::DefaultParameterSet();
    set.Global.PreemphOn.set(1);
    for (auto _ : state)
        benchmark::DoNotOptimize(runFmSelfTest(set).Passed());
}
BENCHMARK(BM_FmSelfTest)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
