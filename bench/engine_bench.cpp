// Speed of the streaming engine's data path: the ring buffer's push and pull, the plug-in host's
// pull through the processing module, and one buffer period of the whole chain on virtual
// devices (device threads, hand-offs and all). Each reports audio frames per second.

#include "dsp_plugin.h"
#include "ring_buffer.h"
#include "wave_in.h"
#include "wave_out.h"

#include "platform/main_dispatcher.h"
#include "platform/wave/wave_clock.h"
#include "platform/wave/wave_service.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstring>
#include <vector>

namespace {

constexpr std::uint32_t kBuffer = 4096;
constexpr std::int64_t kFramesPerBuffer = kBuffer / 4;

// Answers every pull with a full buffer of a constant signal.
class SteadySource : public TMMDSPComponent {
public:
    bool HasInputSide() const override { return false; }
    void BufferLoad(TMMWaveHdr* header, bool& more) override
    {
        std::memset(header->Data, 0x21, header->BufferLength);
        header->BytesRecorded = header->BufferLength;
        more = true;
    }
};

void BM_RingBufferPushAndPull(benchmark::State& state)
{
    const TWaveFormatEx format = pcmWaveFormat(16, 2, 44100);
    TMMRingBuffer ring;
    ring.SetWaveFormat(&format);
    ring.SetBufferSize(kBuffer);
    ring.SetNumBuffers(16);
    ring.SetQueueMode(TMMQueueMode::qmDuplex);
    ring.Open();
    std::vector<char> in(kBuffer, 1), out(kBuffer);
    TMMWaveHdr push{}, pull{};
    push.Data = in.data();
    push.BufferLength = push.BytesRecorded = kBuffer;
    pull.Data = out.data();
    for (int i = 0; i < 9; ++i)
        ring.BufferReady(&push);
    bool more = true;
    for (auto _ : state) {
        ring.BufferReady(&push);
        pull.BufferLength = kBuffer;
        ring.BufferLoad(&pull, more);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * kFramesPerBuffer);
}
BENCHMARK(BM_RingBufferPushAndPull);

void BM_PluginHostPullThroughModule(benchmark::State& state)
{
    const TWaveFormatEx format = pcmWaveFormat(16, 2, 44100);
    SteadySource source;
    TMMDSPPlugin host;
    source.SetWaveFormat(&format);
    source.SetOutput(&host);
    host.SetBufferSize(kBuffer);
    if (!host.LoadModuleFile(QEX_MODULE_FILE)) {
        state.SkipWithError("the processing module did not load");
        return;
    }
    host.OpenModules(nullptr);
    host.SelectModule(0);
    host.Open();
    host.InitModule();
    host.Start();
    std::vector<char> out(kBuffer);
    TMMWaveHdr pull{};
    pull.Data = out.data();
    bool more = true;
    for (auto _ : state) {
        pull.BufferLength = kBuffer;
        host.BufferLoad(&pull, more);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * kFramesPerBuffer);
    host.UnloadModules();
}
BENCHMARK(BM_PluginHostPullThroughModule);

// One buffer period of input -> ring -> host -> output on virtual devices, the clock moved by
// hand: the cost of the device threads and their hand-offs per buffer, without waiting for real
// time.
void BM_VirtualChainPeriod(benchmark::State& state)
{
    namespace wave = qex::platform::wave;
    auto clock = std::make_shared<wave::ManualWaveClock>();
    wave::setVirtualClock(clock);
    qex::platform::MainThreadDispatcher dispatcher;
    qex::platform::installMainThreadDispatcher(&dispatcher);
    {
        const TWaveFormatEx format = pcmWaveFormat(16, 2, 44100);
        TMMWaveIn wi;
        TMMRingBuffer ring;
        TMMDSPPlugin host;
        TMMWaveOut wo;
        wi.SetWaveFormat(&format);
        wi.SetBufferSize(kBuffer);
        wi.SetNumBuffers(8);
        wi.SetDeviceID(wi.DeviceCount() - 1); // the test-signal input
        wi.SetCallBackMode(TMMCBMode::cmThread);
        ring.SetNumBuffers(16);
        ring.SetQueueMode(TMMQueueMode::qmDuplex);
        wo.SetNumBuffers(8);
        wo.SetDeviceID(wo.DeviceCount() - 1); // the silent output
        wo.SetCallBackMode(TMMCBMode::cmThread);
        wi.SetOutput(&ring);
        ring.SetOutput(&host);
        host.SetOutput(&wo);
        std::atomic<std::int64_t> pushes{0}, fills{0};
        wi.OnBufferReady = [&](TMMDSPComponent*, TMMWaveHdr*) { ++pushes; };
        wo.OnBufferFilled = [&](TMMDSPComponent*, TMMWaveHdr*) { ++fills; };
        if (host.LoadModuleFile(QEX_MODULE_FILE)) {
            host.OpenModules(nullptr);
            host.SelectModule(0);
        }
        wi.Open();
        host.InitModule();
        wi.Start();
        std::int64_t periods = 0, frames = 0, nanos = 0;
        for (auto _ : state) {
            ++periods;
            frames += kFramesPerBuffer;
            const std::int64_t target = (frames * 1'000'000'000 + 44099) / 44100;
            clock->advance(std::chrono::nanoseconds(target - nanos));
            nanos = target;
            while (pushes.load() < periods || fills.load() < 8 + periods)
                dispatcher.waitAndPump(0);
        }
        state.SetItemsProcessed(periods * kFramesPerBuffer);
        wi.Stop();
        wi.Close();
        host.UnloadModules();
    }
    qex::platform::installMainThreadDispatcher(nullptr);
    wave::setVirtualClock(nullptr);
}
BENCHMARK(BM_VirtualChainPeriod)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
