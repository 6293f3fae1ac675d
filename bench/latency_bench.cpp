// End-to-end latency of the streaming chain, measured: the real chain (wave input, ring buffer,
// plug-in host with the processing module, wave output) runs on the virtual devices paced by the
// real clock. The input's audio is replaced by silence with a short click once a second; the
// time at which the click was recorded and the time at which it was played are taken from the
// moments the devices hand the buffers back (the last frame of a buffer is recorded, or played,
// at that moment). One line per buffer setting:
//
//   setting=<name> in=<n>x<bytes> ring=<n> out=<n>x<bytes> latency_ms=<x> dropouts=<n>
//       module_ms=<x> buffering_ms=<x> status_ms=<x> clicks=<n> kinds=<dropouts by kind>
//
// latency_ms is the median over the clicks; module_ms the processing module's own delay,
// measured apart by running the same click through the module alone; buffering_ms what the chain
// adds; status_ms the delay the main window's status line shows (averaged over the run).
//
// Usage: qex_latency_bench [--seconds N] [--time-critical] [SETTING...]
//   default 10 s per setting, all settings, the audio threads at the design priority "Higher";
//   --time-critical runs them at "Time critical" (real-time scheduling where the system allows).
//        qex_latency_bench --virtual-device-ids          (the identifiers of the virtual devices)

#include "chain_monitor.h"
#include "dsp_plugin.h"
#include "ring_buffer.h"
#include "wave_in.h"
#include "wave_out.h"

#include "platform/main_dispatcher.h"
#include "platform/wave/wave_service.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

namespace wave = qex::platform::wave;
using Clock = std::chrono::steady_clock;

constexpr int kRate = 44100;
constexpr int kFrameBytes = 4;
constexpr int kClickFrames = 8;
constexpr std::int16_t kClickLevel = 30000;
// A played frame this loud is the click: the module's silence stays far below it.
constexpr int kFoundLevel = 4000;

struct Setting {
    const char* name;
    int inputBuffers;
    int bufferBytes;
    int outputBuffers;
};

// The design values, the smallest the sliders allow, and two between.
constexpr Setting kSettings[] = {
    {"design", 8, 4096, 8},
    {"medium", 4, 2048, 4},
    {"small", 3, 1024, 3},
    {"smallest", 2, 1024, 2},
};

double msSince(Clock::time_point origin, Clock::time_point t)
{
    return std::chrono::duration<double, std::milli>(t - origin).count();
}

// The first frame of a buffer whose left sample reaches kFoundLevel, or -1.
int loudFrame(const TMMWaveHdr* header)
{
    const auto* samples = reinterpret_cast<const std::int16_t*>(header->Data);
    const int frames = static_cast<int>(header->BytesRecorded / kFrameBytes);
    for (int i = 0; i < frames; ++i)
        if (std::abs(samples[2 * i]) >= kFoundLevel)
            return i;
    return -1;
}

void writeClick(char* data, int frame)
{
    auto* samples = reinterpret_cast<std::int16_t*>(data);
    for (int i = 0; i < kClickFrames; ++i)
        samples[2 * (frame + i)] = samples[2 * (frame + i) + 1] = kClickLevel;
}

// Answers pulls with silence and one click, kClickAt frames into the stream.
class ClickSource : public TMMDSPComponent {
public:
    static constexpr int kClickAt = 20000;
    bool HasInputSide() const override { return false; }
    void BufferLoad(TMMWaveHdr* header, bool& more) override
    {
        std::memset(header->Data, 0, header->BufferLength);
        const int frames = static_cast<int>(header->BufferLength / kFrameBytes);
        if (frame_ <= kClickAt && kClickAt + kClickFrames <= frame_ + frames)
            writeClick(header->Data, kClickAt - frame_);
        frame_ += frames;
        header->BytesRecorded = header->BufferLength;
        more = true;
    }

private:
    int frame_ = 0;
};

// The module's own delay in milliseconds: the click through the module alone, found at the output.
double moduleDelayMs(int& reported)
{
    const TWaveFormatEx format = pcmWaveFormat(16, 2, kRate);
    ClickSource source;
    TMMDSPPlugin host;
    source.SetWaveFormat(&format);
    source.SetOutput(&host);
    host.SetBufferSize(1024);
    if (!host.LoadModuleFile(QEX_MODULE_FILE))
        return -1;
    host.OpenModules(nullptr);
    host.SelectModule(0);
    host.Open();
    host.InitModule();
    host.Start();
    reported = host.ModuleDelayFrames();
    std::vector<char> data(1024);
    TMMWaveHdr pull{};
    pull.Data = data.data();
    double result = -1;
    for (int frame = 0; frame < 4 * kRate && result < 0; frame += 256) {
        pull.BufferLength = 1024;
        bool more = true;
        host.BufferLoad(&pull, more);
        if (const int found = loudFrame(&pull); found >= 0)
            result = (frame + found - ClickSource::kClickAt) * 1000.0 / kRate;
    }
    host.UnloadModules();
    return result;
}

// Click times on the two device threads, kept without locks.
struct ClickLog {
    static constexpr int kMax = 4096;
    std::array<double, kMax> times{};
    std::atomic<int> count{0};
    void Add(double ms)
    {
        const int n = count.load(std::memory_order_relaxed);
        if (n < kMax) {
            times[static_cast<std::size_t>(n)] = ms;
            count.store(n + 1, std::memory_order_release);
        }
    }
};

struct Result {
    double latencyMs = -1;
    TMMChainDropouts dropouts;
    double statusMs = 0;
    int clicks = 0;
};

Result run(const Setting& setting, int seconds, TThreadPriority priority)
{
    qex::platform::MainThreadDispatcher dispatcher;
    qex::platform::installMainThreadDispatcher(&dispatcher);
    const TWaveFormatEx format = pcmWaveFormat(16, 2, kRate);
    TMMWaveIn wi;
    TMMRingBuffer ring;
    TMMDSPPlugin host;
    TMMWaveOut wo;
    wi.SetWaveFormat(&format);
    wi.SetNumBuffers(setting.inputBuffers);
    wi.SetBufferSize(setting.bufferBytes);
    wi.SetCallBackMode(TMMCBMode::cmThread);
    wi.SetDeviceID(wave::waveFindDevice(wave::WaveDirection::Input, wave::kTestSignalInputName));
    wi.SetPriority(priority);
    ring.SetBufferSize(setting.bufferBytes);
    ring.SetNumBuffers(2 * setting.inputBuffers);
    ring.SetQueueMode(TMMQueueMode::qmDuplex);
    wo.SetNumBuffers(setting.outputBuffers);
    wo.SetBufferSize(setting.bufferBytes);
    wo.SetCallBackMode(TMMCBMode::cmThread);
    wo.SetDeviceID(wave::waveFindDevice(wave::WaveDirection::Output, wave::kSilentOutputName));
    wo.SetPriority(priority);
    wi.SetOutput(&ring);
    ring.SetOutput(&host);
    host.SetOutput(&wo);
    TMMChainMonitor monitor(wi, ring, host, wo);

    const Clock::time_point origin = Clock::now();
    const int bufferFrames = setting.bufferBytes / kFrameBytes;
    ClickLog recorded, played;
    std::atomic<std::int64_t> inputFrames{0};
    // Input thread: silence with a click once a second, dated by the buffer's last frame.
    wi.OnBufferReady = [&](TMMDSPComponent*, TMMWaveHdr* header) {
        const double now = msSince(origin, Clock::now());
        const std::int64_t first = inputFrames.fetch_add(bufferFrames);
        std::memset(header->Data, 0, header->BytesRecorded);
        const std::int64_t second = (first + kRate - 1) / kRate * kRate;
        if (second > 0 && second + kClickFrames <= first + bufferFrames) {
            writeClick(header->Data, static_cast<int>(second - first));
            recorded.Add(now - static_cast<double>(first + bufferFrames - second) * 1000.0 / kRate);
        }
    };
    // Output thread: a buffer just played; its click was heard that far before its end.
    bool loud = false;
    wo.OnBufferReady = [&](TMMDSPComponent*, TMMWaveHdr* header) {
        const double now = msSince(origin, Clock::now());
        const int found = loudFrame(header);
        if (found >= 0 && !loud)
            played.Add(now - (bufferFrames - found) * 1000.0 / kRate);
        loud = found >= 0;
    };

    Result result;
    if (!host.LoadModuleFile(QEX_MODULE_FILE)) {
        std::fprintf(stderr, "the processing module did not load\n");
        return result;
    }
    host.OpenModules(nullptr);
    host.SelectModule(0);
    wi.Open();
    host.InitModule();
    wi.Start();
    monitor.Begin();
    double statusSum = 0;
    int statusCount = 0;
    const Clock::time_point end = Clock::now() + std::chrono::seconds(seconds);
    while (Clock::now() < end) {
        dispatcher.waitAndPump(50);
        // The status line's figure once the ring is primed.
        if (Clock::now() - origin > std::chrono::seconds(1)) {
            statusSum += monitor.Delay().Total();
            ++statusCount;
        }
    }
    result.dropouts = monitor.Dropouts();
    wi.Stop();
    wi.Close();
    host.UnloadModules();
    qex::platform::installMainThreadDispatcher(nullptr);

    // Each click heard belongs to the last one recorded before it.
    std::vector<double> latencies;
    const int heard = played.count.load(std::memory_order_acquire);
    const int made = recorded.count.load(std::memory_order_acquire);
    for (int p = 0, r = 0; p < heard; ++p) {
        const double t = played.times[static_cast<std::size_t>(p)];
        while (r + 1 < made && recorded.times[static_cast<std::size_t>(r + 1)] < t)
            ++r;
        if (r < made && recorded.times[static_cast<std::size_t>(r)] < t)
            latencies.push_back(t - recorded.times[static_cast<std::size_t>(r)]);
    }
    if (!latencies.empty()) {
        std::nth_element(latencies.begin(), latencies.begin() + static_cast<long>(latencies.size() / 2),
                         latencies.end());
        result.latencyMs = latencies[latencies.size() / 2];
    }
    result.clicks = static_cast<int>(latencies.size());
    result.statusMs = statusCount > 0 ? statusSum / statusCount : 0;
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    int seconds = 10;
    // The audio threads' priority: the program's design value unless asked otherwise.
    TThreadPriority priority = TThreadPriority::tpHigher;
    std::vector<std::string> wanted;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--virtual-device-ids") {
            std::printf("input=%d output=%d\n",
                        wave::waveFindDevice(wave::WaveDirection::Input, wave::kTestSignalInputName),
                        wave::waveFindDevice(wave::WaveDirection::Output, wave::kSilentOutputName));
            return 0;
        }
        if (arg == "--time-critical")
            priority = TThreadPriority::tpTimeCritical;
        else if (arg == "--seconds" && i + 1 < argc)
            seconds = std::max(std::atoi(argv[++i]), 3);
        else
            wanted.push_back(arg);
    }
    int reported = 0;
    const double moduleMs = moduleDelayMs(reported);
    std::printf("module delay_ms=%.1f reported_ms=%.1f\n", moduleMs, reported * 1000.0 / kRate);
    for (const Setting& setting : kSettings) {
        if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), setting.name) == wanted.end())
            continue;
        const Result r = run(setting, seconds, priority);
        const auto count = [](std::uint64_t n) { return static_cast<unsigned long long>(n); };
        std::printf("setting=%s in=%dx%d ring=%d out=%dx%d latency_ms=%.1f dropouts=%llu module_ms=%.1f "
                    "buffering_ms=%.1f status_ms=%.1f clicks=%d kinds=overrun:%llu,underrun:%llu,ring_full:%llu,"
                    "ring_empty:%llu,padding:%llu\n",
                    setting.name, setting.inputBuffers, setting.bufferBytes, 2 * setting.inputBuffers,
                    setting.outputBuffers, setting.bufferBytes, r.latencyMs, count(r.dropouts.Total()), moduleMs,
                    r.latencyMs - moduleMs, r.statusMs, r.clicks, count(r.dropouts.inputOverruns),
                    count(r.dropouts.outputUnderruns), count(r.dropouts.ringOverflows), count(r.dropouts.ringUnderruns),
                    count(r.dropouts.hostPaddings));
        std::fflush(stdout);
    }
    return 0;
}
