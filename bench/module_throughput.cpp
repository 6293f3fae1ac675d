// Throughput of the processing module, loaded from its file and driven through its published
// entry the way the plug-in host drives it: 4096-byte buffers of a music-like stereo signal.
// Prints the speed as a multiple of real time ("realtime_x") for the default preset, for a
// preset with every stage working, and for that preset with the AM filter.
//
// The module finds its settings and presets beside the host executable, so the benchmark runs
// a copy of itself from a temporary folder that holds the presets it needs.

#include "module_settings.h"
#include "parameter_set.h"
#include "preset_file.h"
#include "winamp_dsp.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <numbers>
#include <random>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* kStagedVariable = "QEX_BENCH_STAGED";
constexpr int kRate = 44100;
constexpr int kBufferFrames = 4096 / 4;
constexpr int kSignalSeconds = 10;
constexpr int kEveryStagePreset = 1;
constexpr int kEveryStageAmPreset = 2;

// Several tones with slowly varying envelopes, like a mix of instruments, plus a little noise;
// peaks around −6 dBFS, the channels slightly different.
std::vector<int16_t> ProgramSignal()
{
    struct Tone {
        double hz, level, envelopeHz, pan;
    };
    constexpr Tone kTones[] = {{55, 5000, 0.7, 0.0},  {110, 4000, 1.3, 0.2},   {233, 3000, 2.1, -0.3},
                               {440, 2500, 3.3, 0.1}, {1250, 1500, 0.4, -0.5}, {3520, 900, 5.0, 0.6},
                               {7900, 500, 1.7, -0.2}};
    std::mt19937 random(12345);
    std::normal_distribution<double> noise(0.0, 150.0);
    const int frames = kSignalSeconds * kRate;
    std::vector<int16_t> samples(static_cast<size_t>(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        double left = noise(random), right = noise(random);
        for (const Tone& tone : kTones) {
            const double envelope = 0.55 + 0.45 * std::sin(2 * std::numbers::pi * tone.envelopeHz * t);
            const double v = tone.level * envelope * std::sin(2 * std::numbers::pi * tone.hz * t);
            left += v * (1 - tone.pan);
            right += v * (1 + tone.pan);
        }
        samples[2 * i] = static_cast<int16_t>(std::clamp(left, -32767.0, 32767.0));
        samples[2 * i + 1] = static_cast<int16_t>(std::clamp(right, -32767.0, 32767.0));
    }
    return samples;
}

qex::ParameterSet EveryStagePreset(bool amFilter)
{
    qex::ParameterSet set = qex::DefaultParameterSet();
    qex::GlobalParams& g = set.Global;
    g.AgcOn.set(1);
    g.BassEqGainDb.set(12);
    g.ExpanderOn.set(1);
    g.LimiterOn.set(1);
    g.StereoLevelPct.set(100);
    g.StereoDepthMs.set(20);
    g.PreemphOn.set(1);
    int32_t flags = qex::Flag::PhaseRotator | qex::Flag::InputLpf15k | qex::Flag::BassHighQ | qex::Flag::TrackRms;
    if (amFilter)
        flags |= qex::Flag::AmFilter;
    g.Flags.set(flags);
    return set;
}

void BM_ModifySamples(benchmark::State& state, int preset)
{
    const fs::path self = fs::read_symlink("/proc/self/exe");
    qex::WriteModuleSetting(qex::ModuleSettingsPath(self), "ProcessNumber", preset);

    void* library = dlopen(QEX_MODULE_FILE, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        state.SkipWithError(dlerror());
        return;
    }
    auto getHeader = reinterpret_cast<winampDSPGetHeaderType>(dlsym(library, "winampDSPGetHeader2"));
    winampDSPModule* module = getHeader()->getModule(0);
    module->Init(module);

    static const std::vector<int16_t> signal = ProgramSignal();
    std::vector<int16_t> buffer(kBufferFrames * 2);
    const size_t frames = signal.size() / 2;
    for (auto _ : state) {
        for (size_t first = 0; first + kBufferFrames <= frames; first += kBufferFrames) {
            std::copy_n(signal.begin() + static_cast<std::ptrdiff_t>(first * 2), buffer.size(), buffer.begin());
            module->ModifySamples(module, buffer.data(), kBufferFrames, 16, 2, kRate);
            benchmark::DoNotOptimize(buffer.data());
        }
    }
    const double audioSeconds = static_cast<double>(frames / kBufferFrames * kBufferFrames) / kRate;
    state.counters["realtime_x"] =
        benchmark::Counter(audioSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);

    module->Quit(module);
    dlclose(library);
}

BENCHMARK_CAPTURE(BM_ModifySamples, default_preset, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ModifySamples, every_stage, kEveryStagePreset)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ModifySamples, every_stage_am_filter, kEveryStageAmPreset)->Unit(benchmark::kMillisecond);

// Copies this program into a temporary folder with the presets above and runs it from there.
int RunStaged(char** argv)
{
    char folderTemplate[] = "/tmp/qex-bench-XXXXXX";
    if (!mkdtemp(folderTemplate))
        return 1;
    const fs::path folder = folderTemplate;
    const fs::path copy = folder / "qex_module_bench";
    fs::copy_file(fs::read_symlink("/proc/self/exe"), copy);
    fs::create_directory(folder / "PRESETS");
    qex::WritePresetFile(qex::PresetFilePath(folder, kEveryStagePreset), EveryStagePreset(false));
    qex::WritePresetFile(qex::PresetFilePath(folder, kEveryStageAmPreset), EveryStagePreset(true));

    int status = 1;
    if (const pid_t child = fork(); child == 0) {
        setenv(kStagedVariable, "1", 1);
        execv(copy.c_str(), argv);
        _exit(127);
    } else if (child > 0) {
        waitpid(child, &status, 0);
    }
    fs::remove_all(folder);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv(kStagedVariable))
        return RunStaged(argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
