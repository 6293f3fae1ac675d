#pragma once
// The loudness meter behind the level meters' connector: it receives every buffer the wave
// output has played and measures short-term and integrated loudness (BS.1770) of the processed
// programme since Start.
//
// The wave output's thread only copies each buffer into a lock-free queue (nothing allocated,
// nothing locked); the tick service's thread takes the samples out every 25 ms, runs them
// through the measurement and publishes the readings as atomic words for any thread to read.
// Start and Stop come from the user-interface thread and share a lock with the tick only.

#include "dsp_component.h"
#include "loudness.h"
#include "sample_queue.h"
#include "tick_service.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

struct TMMLoudnessReading {
    std::optional<double> ShortTerm;  // LUFS over the last 3 s
    std::optional<double> Integrated; // LUFS since Start
};

class TMMLoudnessMeter : public TMMDSPComponent {
public:
    explicit TMMLoudnessMeter(TMMTickService& ticks = TMMTickService::Global());
    ~TMMLoudnessMeter() override;

    // Begins a new measurement for the chain's format (16-bit PCM; any other measures nothing).
    void Start() override;
    // The short-term reading goes blank; the integrated one stays until the next Start.
    void Stop() override;
    // On the wave output's thread: queues the samples and passes the buffer on.
    void BufferReady(TMMWaveHdr* lpWaveHdr) override;

    // Any thread.
    TMMLoudnessReading Reading() const;
    // Changes whenever the reading may have changed.
    std::uint64_t ReadingNumber() const { return readingNumber_.load(std::memory_order_acquire); }
    // Frames the measurement missed because the queue was full.
    std::uint64_t DroppedFrames() const { return droppedFrames_.load(std::memory_order_relaxed); }

private:
    // One tick: everything queued into the measurement, then the readings out.
    void Measure();
    void Publish(std::optional<double> shortTerm, std::optional<double> integrated);

    TMMSampleQueue queue_;
    // Bytes per frame the audio thread queues; 0 while nothing is measured.
    std::atomic<int> frameBytes_{0};
    std::atomic<std::uint64_t> droppedFrames_{0};

    // Readings, NaN for none.
    std::atomic<double> shortTerm_;
    std::atomic<double> integrated_;
    std::atomic<std::uint64_t> readingNumber_{0};

    // Held by the tick while it measures and by Start and Stop; never by the audio thread.
    std::mutex measureLock_;
    std::unique_ptr<TLoudness> loudness_;
    std::array<std::int16_t, 4096> scratch_{};

    // Last member: leaves the tick service before anything it touches goes away.
    TMMTickClient tickClient_;
};
