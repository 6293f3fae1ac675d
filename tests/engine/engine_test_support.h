#pragma once
// Helpers shared by the engine's tests: test components at the ends of a chain, virtual devices
// on a clock the test moves, and a main thread the test pumps.

#include "dsp_component.h"
#include "engine_notice.h"
#include "plugins/test_plugin_control.h"

#include "platform/main_dispatcher.h"
#include "platform/wave/wave_clock.h"
#include "platform/wave/wave_service.h"

#include <gtest/gtest.h>

class TMMDSPPlugin;
class TMMWaveIn;
class TMMWaveOut;

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace qextest {

using qex::platform::wave::WaveDirection;

// 44 100 Hz, 16-bit stereo: what the program records and plays.
TWaveFormatEx cdFormat();
constexpr int kCdFrameBytes = 4;

// Pumps the dispatcher until ready() holds; the limit only ends a test that is failing anyway.
bool pumpUntil(qex::platform::MainThreadDispatcher& dispatcher, const std::function<bool()>& ready,
               std::chrono::milliseconds limit = std::chrono::seconds(30));

// A recognisable byte stream: the byte at each offset of it.
char patternByte(std::uint64_t offset);
std::vector<char> patternBytes(std::uint64_t offset, std::size_t count);

// A chain head that answers pulls with the pattern stream. It has dataPulls buffers of data;
// the last one comes with MoreBuffers false, unless endWithMore, in which case the pulls after
// the data answer 0 bytes with MoreBuffers true (a source that fails).
class PatternSource : public TMMDSPComponent {
public:
    explicit PatternSource(int dataPulls = 1 << 30, bool endWithMore = false);
    bool HasInputSide() const override { return false; }
    void BufferLoad(TMMWaveHdr* lpWaveHdr, bool& moreBuffers) override;
    int Pulls() const { return pulls_.load(); }
    std::uint64_t Produced() const { return offset_.load(); }

private:
    int dataPulls_;
    bool endWithMore_;
    std::atomic<int> pulls_{0};
    std::atomic<std::uint64_t> offset_{0};
};

// The file of a test plug-in library built by the tests (tp_published, tp_engine, ...).
std::string testPluginPath(const std::string& name);

// A test plug-in library (built by the tests: tp_published, tp_engine, ...) held open by the test,
// so that its counters outlive the host's loads; its counters start at 0 and it returns as many
// frames as it is given.
class TestPlugin {
public:
    explicit TestPlugin(const std::string& name);
    ~TestPlugin();
    TestPlugin(const TestPlugin&) = delete;
    TestPlugin& operator=(const TestPlugin&) = delete;

    std::string path;
    TestPluginControl* control;

private:
    void* handle_ = nullptr;
    TestPluginControl unused_{};
};

// Collects what the engine shows the operator while it exists.
class Notices {
public:
    struct Notice {
        TMMNoticeKind kind;
        std::string title, text;
    };
    Notices();
    ~Notices();
    Notices(const Notices&) = delete;
    Notices& operator=(const Notices&) = delete;

    std::size_t Count() const;
    std::vector<Notice> Seen() const;

private:
    mutable std::mutex lock_;
    std::vector<Notice> seen_;
};

// A chain tail that keeps what is pushed into it.
class BufferSink : public TMMDSPComponent {
public:
    bool HasOutputSide() const override { return false; }
    void BufferReady(TMMWaveHdr* lpWaveHdr) override;
    std::vector<char> Bytes() const;
    std::vector<std::uint32_t> Sizes() const;
    int Count() const;

private:
    mutable std::mutex lock_;
    std::vector<char> bytes_;
    std::vector<std::uint32_t> sizes_;
};

// A plain component that holds the thread of the next pull inside it, as if the work there took
// a while: the thread stays until the component is stopped, reset or closed, or the time given
// has passed. Stopping, resetting or closing it while it holds a pull is
// counted: a chain must never change its components' state under the output's thread.
class PullHold : public TMMDSPComponent {
public:
    // The next pull is held, for `limit` at the most.
    void Arm(std::chrono::milliseconds limit);
    // Waits until a pull is held; false when none came (a failing test).
    bool WaitUntilHolding(std::chrono::milliseconds limit = std::chrono::seconds(30));
    bool Holding() const;
    int CallsUnderPull() const;

    void BufferLoad(TMMWaveHdr* lpWaveHdr, bool& moreBuffers) override;
    void Close() override;
    void Stop() override;
    void Reset() override;

private:
    void LetGo();

    mutable std::mutex lock_;
    std::condition_variable changed_;
    bool armed_ = false;
    bool holding_ = false;
    std::chrono::milliseconds limit_{0};
    int callsUnderPull_ = 0;
};

// Virtual devices paced by a clock the test moves, and a main thread the test pumps.
class VirtualDeviceTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Moves the clock on by a number of 44.1 kHz frames, exactly.
    void AdvanceFrames(std::uint64_t frames);
    bool PumpUntil(const std::function<bool()>& ready) { return pumpUntil(dispatcher_, ready); }
    // Moves the clock one buffer period of `frames` at a time; before it moves on, the input's
    // buffer of that period has been pushed and the output's played buffer refilled, as the
    // counts of pushes and fills tell.
    void RunPeriods(int periods, std::uint64_t frames, const std::atomic<int>& pushes, const std::atomic<int>& fills);

    // A device on the virtual test-signal input or silent output, in the program's format and
    // handled on its own thread.
    void UseTestInput(TMMWaveIn& wi, int bufferBytes, int numBuffers);
    void UseSilentOutput(TMMWaveOut& wo, int numBuffers);
    // Starts processing as the main window does: the input opens the chain, the host initialises
    // its module, the input starts the chain.
    static void StartChain(TMMWaveIn& wi, TMMDSPPlugin& host);

    std::shared_ptr<qex::platform::wave::ManualWaveClock> clock_;
    qex::platform::MainThreadDispatcher dispatcher_;
    int testInput_ = -2;
    int silentOutput_ = -2;

private:
    std::uint64_t frames_ = 0;
    std::int64_t nanos_ = 0;
};

} // namespace qextest
