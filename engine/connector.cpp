#include "connector.h"

#include "errors.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace {

std::int64_t steadyMicroseconds()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

TMMConnector::TMMConnector() : clock_(steadyMicroseconds) {}

TMMConnector::~TMMConnector()
{
    BeginDestroy();
    for (TMMLevel* level : {level1_, level2_})
        if (level)
            level->RemoveHolder(this);
}

void TMMConnector::SetSpeed(int value)
{
    speed_ = std::clamp(value, 1, 5000);
}

void TMMConnector::SetRealTime(bool value)
{
    if (Opened())
        throw EMMConnectorError(MMErrorText(kErrPropertyWhileOpen));
    realTime_ = value;
}

void TMMConnector::SetLevel1(TMMLevel* level)
{
    SetLevel(level1_, level2_, level);
}

void TMMConnector::SetLevel2(TMMLevel* level)
{
    SetLevel(level2_, level1_, level);
}

void TMMConnector::SetLevel(TMMLevel*& slot, TMMLevel* other, TMMLevel* level)
{
    if (level == slot || (level && level == other))
        return;
    TMMLevel* former = slot;
    {
        std::lock_guard guard(lock_);
        slot = level;
    }
    if (former)
        former->RemoveHolder(this);
    if (level)
        level->AddHolder(this);
}

void TMMConnector::LevelDestroyed(TMMLevel* level)
{
    // Waits for a trigger that may be measuring with it right now.
    std::lock_guard guard(lock_);
    if (level1_ == level)
        level1_ = nullptr;
    if (level2_ == level)
        level2_ = nullptr;
}

void TMMConnector::ConfigureDisplays(const TWaveFormatEx* format)
{
    for (TMMLevel* level : {level1_, level2_})
        if (level)
            level->ConfigureFromFormat(format);
}

void TMMConnector::SetWaveFormat(const TWaveFormatEx* format)
{
    TMMDSPComponent::SetWaveFormat(format);
    if (WaveFormat())
        ConfigureDisplays(WaveFormat());
}

bool TMMConnector::Running() const
{
    std::lock_guard guard(lock_);
    return running_;
}

void TMMConnector::Start()
{
    TMMDSPComponent::Start();
    const TWaveFormatEx* format = WaveFormat();
    if (running_ || !format)
        return;
    const auto size = static_cast<std::uint32_t>(std::max(GetBufferSize(), 0));
    auto copy = std::make_unique<char[]>(size); // zero-filled
    {
        std::lock_guard guard(lock_);
        copy_ = std::move(copy);
        copySize_ = size;
        validBytes_ = 0;
        pcmMode_ = isValidPcm(format);
        silence_ = format->BitsPerSample == 8 ? 128 : 0;
        avgBytesPerSec_ = format->AvgBytesPerSec;
        displayPaused_ = false;
        levelsPending_ = false;
        running_ = true;
    }
    ConfigureDisplays(format);
}

void TMMConnector::Stop()
{
    if (running_) {
        std::unique_ptr<char[]> released;
        {
            std::lock_guard guard(lock_);
            running_ = false;
            levelsPending_ = false;
            released = std::move(copy_);
            copySize_ = validBytes_ = 0;
        }
        if (refreshOnStop_)
            for (TMMLevel* level : {level1_, level2_})
                if (level)
                    level->Clear();
    }
    TMMDSPComponent::Stop();
}

void TMMConnector::FillSilence()
{
    if (copy_)
        std::memset(copy_.get(), silence_, copySize_);
}

void TMMConnector::Pause()
{
    TMMDSPComponent::Pause();
    std::lock_guard guard(lock_);
    FillSilence();
    displayPaused_ = true;
}

void TMMConnector::Restart()
{
    TMMDSPComponent::Restart();
    std::lock_guard guard(lock_);
    displayPaused_ = false;
}

void TMMConnector::Reset()
{
    TMMDSPComponent::Reset();
    std::lock_guard guard(lock_);
    FillSilence();
}

void TMMConnector::BufferReady(TMMWaveHdr* lpWaveHdr)
{
    if (lpWaveHdr) {
        // The buffer just played is history; the one the output plays now is what is heard.
        // An empty played buffer (the stream's end) shows nothing new.
        const TMMWaveHdr* shown = lpWaveHdr;
        if (synchronize_ && lpWaveHdr->NextPlaying && lpWaveHdr->BytesRecorded > 0)
            shown = lpWaveHdr->NextPlaying;
        ShowData(shown->Data, shown->BytesRecorded);
    }
    TMMDSPComponent::BufferReady(lpWaveHdr);
}

void TMMConnector::BufferLoad(TMMWaveHdr* lpWaveHdr, bool& moreBuffers)
{
    TMMDSPComponent::BufferLoad(lpWaveHdr, moreBuffers);
    if (lpWaveHdr)
        ShowData(lpWaveHdr->Data, lpWaveHdr->BytesRecorded);
}

void TMMConnector::ShowData(const char* data, std::uint32_t bytes)
{
    if (!enabled_ || !data || bytes == 0)
        return;
    std::lock_guard guard(lock_);
    if (!running_ || displayPaused_ || !pcmMode_ || !copy_)
        return;
    arrival_ = clock_();
    validBytes_ = std::min(bytes, copySize_);
    std::memcpy(copy_.get(), data, validBytes_);
    if (level1_ || level2_) {
        levelsPending_ = true;
        levelsReadPosition_ = 0;
    }
    if (!realTime_ && autoTrigger_)
        TriggerLocked();
}

void TMMConnector::Trigger()
{
    std::lock_guard guard(lock_);
    TriggerLocked();
}

void TMMConnector::TriggerLocked()
{
    if (!enabled_ || realTime_ || !running_ || !levelsPending_)
        return;
    const int block = std::max(level1_ ? level1_->BlockSize() : 0, level2_ ? level2_->BlockSize() : 0);
    if (block <= 0) {
        levelsPending_ = false;
        return;
    }
    // A later block of the buffer is shown only once the output has played up to it.
    if (synchronize_ && avgBytesPerSec_ > 0 &&
        clock_() - arrival_ < static_cast<std::int64_t>(levelsReadPosition_) * 1000000 / avgBytesPerSec_)
        return;
    const std::uint32_t position = levelsReadPosition_;
    levelsReadPosition_ += static_cast<std::uint32_t>(block);
    if (levelsReadPosition_ > validBytes_) {
        levelsPending_ = false;
        return;
    }
    for (TMMLevel* level : {level1_, level2_})
        if (level)
            level->Measure(copy_.get() + position, block);
}
