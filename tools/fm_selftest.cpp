#include "fm_selftest.h"

#include "clip_level.h"
#include "loudness.h"
#include "module_settings.h"
#include "power_spectrum.h"
#include "preset_file.h"
#include "processing_module.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <numbers>
#include <random>
#include <stdexcept>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int kRate = 44100;
constexpr int kSeconds = 8;
// The module's output before the first second, while its gain controls settle, is not judged.
constexpr int kSettleFrames = kRate;
constexpr int kBufferFrames = 1024;
constexpr int kFftSize = 8192;

// The limits. The output low-pass is some 3 dB down at 15 kHz and falls steeply to its notch at
// 19 kHz, so energy just above 15 kHz is its skirt; the pilot's neighbourhood must be clean.
constexpr double kProgrammeLowHz = 20.0;
constexpr double kProgrammeHighHz = 15000.0;
constexpr double kPilotHz = 19000.0;
constexpr double kPilotGuardHz = 500.0;
constexpr double kAbove15kLimitDb = -16.0;
constexpr double kPilotDepthLimitDb = -50.0;

using Samples = std::vector<std::int16_t>;

std::int16_t toSample(double value)
{
    return static_cast<std::int16_t>(std::clamp(std::lround(value), -32767L, 32767L));
}

// A logarithmic sweep from 20 Hz to 20 kHz at -1 dBFS on both channels.
Samples sweptSine()
{
    const double amplitude = 32768.0 * std::pow(10.0, -1.0 / 20.0);
    const double from = 20.0, to = 20000.0, seconds = kSeconds;
    const double k = std::log(to / from);
    Samples out(2 * static_cast<std::size_t>(kSeconds * kRate));
    for (std::size_t i = 0; i < out.size() / 2; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double phase = 2.0 * std::numbers::pi * from * seconds / k * (std::exp(t / seconds * k) - 1.0);
        out[2 * i] = out[2 * i + 1] = toSample(amplitude * std::sin(phase));
    }
    return out;
}

// Pink noise (white noise through Paul Kellet's filter), each channel its own, -10 dBFS RMS.
Samples pinkNoise()
{
    std::mt19937 random(1770);
    std::normal_distribution<double> white(0.0, 1.0);
    Samples out(2 * static_cast<std::size_t>(kSeconds * kRate));
    for (std::size_t channel = 0; channel < 2; ++channel) {
        double b[7] = {};
        std::vector<double> pink(out.size() / 2);
        for (double& p : pink) {
            const double w = white(random);
            b[0] = 0.99886 * b[0] + w * 0.0555179;
            b[1] = 0.99332 * b[1] + w * 0.0750759;
            b[2] = 0.96900 * b[2] + w * 0.1538520;
            b[3] = 0.86650 * b[3] + w * 0.3104856;
            b[4] = 0.55000 * b[4] + w * 0.5329522;
            b[5] = -0.7616 * b[5] - w * 0.0168980;
            p = b[0] + b[1] + b[2] + b[3] + b[4] + b[5] + b[6] + w * 0.5362;
            b[6] = w * 0.115926;
        }
        double power = 0.0;
        for (double p : pink)
            power += p * p;
        const double rms = std::sqrt(power / static_cast<double>(pink.size()));
        const double scale = 32768.0 * std::pow(10.0, -10.0 / 20.0) / rms;
        for (std::size_t i = 0; i < pink.size(); ++i)
            out[2 * i + channel] = toSample(pink[i] * scale);
    }
    return out;
}

// A private folder that a module instance takes for its host's, removed with what it holds.
class HostFolder {
public:
    HostFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "qex-selftest-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("cannot make a temporary folder for the self-test");
        path_ = pattern;
    }
    ~HostFolder()
    {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    HostFolder(const HostFolder&) = delete;
    HostFolder& operator=(const HostFolder&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// The signal through a fresh module that starts with the set, in the host's buffers.
Samples processed(const qex::ParameterSet& set, Samples signal)
{
    const HostFolder host;
    fs::create_directory(host.path() / "PRESETS");
    if (!qex::WritePresetFile(qex::PresetFilePath(host.path(), 0), set))
        throw std::runtime_error("cannot write the self-test's preset");
    auto module = std::make_unique<qex::ProcessingModule>(host.path() / "qex-render");
    module->Init();
    for (std::size_t at = 0; at < signal.size(); at += 2 * kBufferFrames) {
        const auto frames = static_cast<int>(std::min<std::size_t>(kBufferFrames, (signal.size() - at) / 2));
        module->ModifySamples(signal.data() + at, frames, 16, 2, kRate);
    }
    return signal;
}

// The judged part of the output as it modulates the transmitter. A pre-emphasised output goes
// on as it is; a flat one gets the transmitter's own pre-emphasis (50 or 75 us, as the set
// chooses): a first-order shelf with its zero matched at the time constant, unity at DC.
std::vector<double> asModulating(const qex::ParameterSet& set, const Samples& output)
{
    std::vector<double> out(output.begin() + 2 * kSettleFrames, output.end());
    if (set.Global.PreemphOn.get() != 0)
        return out;
    const double tau = set.Global.Preemph50us.get() != 0 ? 50e-6 : 75e-6;
    const double zero = std::exp(-1.0 / (tau * kRate));
    for (std::size_t channel = 0; channel < 2; ++channel) {
        double previous = 0.0;
        for (std::size_t i = channel; i < out.size(); i += 2) {
            const double x = out[i];
            out[i] = (x - zero * previous) / (1.0 - zero);
            previous = x;
        }
    }
    return out;
}

double decibels(double ratio)
{
    return ratio > 0.0 ? 10.0 * std::log10(ratio) : -300.0;
}

void check(TFmSelfTest& test, const char* name, const qex::ParameterSet& set, const Samples& output)
{
    const std::vector<double> modulating = asModulating(set, output);
    TPowerSpectrum spectrum(kFftSize, kRate);
    spectrum.Add(modulating.data(), modulating.size() / 2, 2);
    const double programme = spectrum.BandPower(kProgrammeLowHz, kProgrammeHighHz);
    const double above = spectrum.BandPower(kProgrammeHighHz, kRate / 2.0 + 1.0);
    const double pilot = spectrum.MeanBinPower(kPilotHz - kPilotGuardHz, kPilotHz + kPilotGuardHz);
    const double programmeMean = spectrum.MeanBinPower(kProgrammeLowHz, kProgrammeHighHz);
    int peak = 0;
    for (auto s = output.begin() + 2 * kSettleFrames; s != output.end(); ++s)
        peak = std::max(peak, std::abs(static_cast<int>(*s)));
    test.Checks.push_back(
        {name, "energy above 15 kHz (dB re 20 Hz-15 kHz)", decibels(above / programme), kAbove15kLimitDb, 1});
    test.Checks.push_back(
        {name, "19 kHz +-500 Hz (dB re programme band)", decibels(pilot / programmeMean), kPilotDepthLimitDb, 1});
    test.Checks.push_back(
        {name, "output peak (16-bit steps)", static_cast<double>(peak), static_cast<double>(kClipLevel), 0});
}

} // namespace

bool TFmSelfTest::Passed() const
{
    return std::all_of(Checks.begin(), Checks.end(), [](const TFmCheck& c) { return c.Passed(); });
}

std::string TFmSelfTest::Report() const
{
    std::string text;
    for (const TFmCheck& c : Checks) {
        char line[200];
        std::snprintf(line, sizeof line, "%-11s %-42s %8.*f  limit %7.*f  %s\n", c.Signal.c_str(), c.Quantity.c_str(),
                      c.Decimals, c.Measured, c.Decimals, c.Limit, c.Passed() ? "pass" : "FAIL");
        text += line;
    }
    return text + (Passed() ? "FM protection: PASS\n" : "FM protection: FAIL\n");
}

TFmSelfTest runFmSelfTest(const qex::ParameterSet& set)
{
    TFmSelfTest test;
    check(test, "swept sine", set, processed(set, sweptSine()));
    check(test, "pink noise", set, processed(set, pinkNoise()));
    return test;
}

qex::ParameterSet onAirSetWithPreemphasis(const fs::path& hostExecutable)
{
    int number = qex::ReadModuleSetting(qex::ModuleSettingsPath(hostExecutable), "ProcessNumber", 0);
    if (number < qex::kFirstPreset || number > qex::kLastPreset)
        number = 0;
    qex::ParameterSet set = qex::DefaultParameterSet();
    if (qex::ReadPresetFile(qex::PresetFilePath(qex::ModuleDataFolder(hostExecutable), number), set) !=
        qex::PresetRead::Valid)
        set = qex::DefaultParameterSet();
    set.Global.PreemphOn.set(1);
    return set;
}
