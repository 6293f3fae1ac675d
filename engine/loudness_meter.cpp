#include "loudness_meter.h"

#include <cmath>
#include <limits>

namespace {

// About 1.5 s of 44 100 Hz stereo: the tick may be late many times over before anything is lost.
constexpr std::size_t kQueueBytes = 1 << 18;
constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

std::optional<double> fromWord(double value)
{
    return std::isnan(value) ? std::nullopt : std::optional<double>(value);
}

} // namespace

TMMLoudnessMeter::TMMLoudnessMeter(TMMTickService& ticks)
    : queue_(kQueueBytes), shortTerm_(kNone), integrated_(kNone),
      tickClient_(ticks, TMMTickService::kTickPeriod, [this] { Measure(); })
{
}

TMMLoudnessMeter::~TMMLoudnessMeter()
{
    BeginDestroy();
}

void TMMLoudnessMeter::Start()
{
    const bool wasStarted = Started();
    TMMDSPComponent::Start();
    const TWaveFormatEx* format = WaveFormat();
    if (wasStarted || !Started() || !format)
        return;
    std::unique_ptr<TLoudness> fresh;
    if (isValidPcm(format) && format->BitsPerSample == 16)
        fresh = std::make_unique<TLoudness>(format->Channels, static_cast<long>(format->SamplesPerSec),
                                            TLoudnessMode::Live);
    std::lock_guard guard(measureLock_);
    frameBytes_.store(0, std::memory_order_release);
    queue_.Clear();
    loudness_ = std::move(fresh);
    droppedFrames_.store(0, std::memory_order_relaxed);
    Publish(std::nullopt, std::nullopt);
    if (loudness_)
        frameBytes_.store(format->BlockAlign, std::memory_order_release);
}

void TMMLoudnessMeter::Stop()
{
    if (Started()) {
        frameBytes_.store(0, std::memory_order_release);
        std::lock_guard guard(measureLock_);
        Publish(std::nullopt, fromWord(integrated_.load(std::memory_order_relaxed)));
    }
    TMMDSPComponent::Stop();
}

void TMMLoudnessMeter::BufferReady(TMMWaveHdr* lpWaveHdr)
{
    const int frameBytes = frameBytes_.load(std::memory_order_acquire);
    if (lpWaveHdr && frameBytes > 0) {
        const std::uint32_t bytes = lpWaveHdr->BytesRecorded - lpWaveHdr->BytesRecorded % frameBytes;
        if (bytes > 0 && !queue_.TryPush(lpWaveHdr->Data, bytes))
            droppedFrames_.fetch_add(bytes / frameBytes, std::memory_order_relaxed);
    }
    TMMDSPComponent::BufferReady(lpWaveHdr);
}

void TMMLoudnessMeter::Measure()
{
    std::lock_guard guard(measureLock_);
    if (!loudness_ || frameBytes_.load(std::memory_order_acquire) == 0)
        return;
    const std::size_t frameSamples = static_cast<std::size_t>(loudness_->Channels());
    // Whole frames only: the queue holds whole buffers, so a take of whole frames stays aligned.
    const std::size_t take = scratch_.size() - scratch_.size() % frameSamples;
    bool added = false;
    for (;;) {
        const std::size_t bytes = queue_.Pop(reinterpret_cast<char*>(scratch_.data()), take * sizeof(std::int16_t));
        if (bytes == 0)
            break;
        loudness_->Add(scratch_.data(), bytes / sizeof(std::int16_t) / frameSamples);
        added = true;
    }
    if (added)
        Publish(loudness_->ShortTerm(), loudness_->Integrated());
}

void TMMLoudnessMeter::Publish(std::optional<double> shortTerm, std::optional<double> integrated)
{
    shortTerm_.store(shortTerm.value_or(kNone), std::memory_order_relaxed);
    integrated_.store(integrated.value_or(kNone), std::memory_order_relaxed);
    readingNumber_.fetch_add(1, std::memory_order_release);
}

TMMLoudnessReading TMMLoudnessMeter::Reading() const
{
    return {fromWord(shortTerm_.load(std::memory_order_relaxed)),
            fromWord(integrated_.load(std::memory_order_relaxed))};
}
