#pragma once
// The connector behind the wave output: it receives every buffer the output has played, keeps
// a copy of the audio that is audible now and feeds the start of it to its level meters.
//
// Data arrives on the wave output's thread (BufferReady after playback, or BufferLoad when the
// connector is pulled from); lifecycle calls and property changes come from the user-interface
// thread. The lock guards the copy buffer, the display slots and the running state between
// the two; it is held only for a copy or a trigger, never across an allocation.
//
// Only the non-real-time trigger is built: each arriving buffer triggers the meters at once on
// the arriving thread (AutoTrigger), or the owner calls Trigger itself.

#include "dsp_component.h"
#include "level.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

enum class TMMTriggerMethod { tmMessage, tmTimer };
enum class TMMTriggerMode { tmNone, tmUpFlank, tmDownFlank };

// Microseconds of a monotonic clock.
using TMMMicroClock = std::int64_t (*)();

class TMMConnector : public TMMDSPComponent {
public:
    TMMConnector();
    ~TMMConnector() override;

    void SetEnabled(bool value) { enabled_ = value; }
    bool Enabled() const { return enabled_; }
    // Non-PCM input would be converted for the displays; no such input reaches this program,
    // so without a conversion a non-PCM format shows nothing.
    void SetAutoConvert(bool value) { autoConvert_ = value; }
    bool AutoConvert() const { return autoConvert_; }
    void SetAutoTrigger(bool value) { autoTrigger_ = value; }
    bool AutoTrigger() const { return autoTrigger_; }
    // Show the buffer audible now rather than the one just played, and pace the blocks of a
    // buffer by the time since it arrived.
    void SetSynchronize(bool value) { synchronize_ = value; }
    bool Synchronize() const { return synchronize_; }
    void SetSpeed(int value); // 1..5000
    int Speed() const { return speed_; }
    void SetTriggerMethod(TMMTriggerMethod value) { triggerMethod_ = value; }
    TMMTriggerMethod TriggerMethod() const { return triggerMethod_; }
    // These two position waveform displays; level meters ignore them.
    void SetTriggerMode(TMMTriggerMode value) { triggerMode_ = value; }
    TMMTriggerMode TriggerMode() const { return triggerMode_; }
    void SetTriggerLevel(int value) { triggerLevel_ = value; }
    int TriggerLevel() const { return triggerLevel_; }
    void SetRefreshOnStop(bool value) { refreshOnStop_ = value; }
    bool RefreshOnStop() const { return refreshOnStop_; }
    // Refused with EMMConnectorError (60) while open. With RealTime true the meters are fed
    // only by a real-time trigger source, which this program does not use.
    void SetRealTime(bool value);
    bool RealTime() const { return realTime_; }
    void SetEnterIdle(bool value) { enterIdle_ = value; }
    bool EnterIdle() const { return enterIdle_; }

    // A meter occupies one slot at most: assigning the meter held by the other slot is ignored.
    // A meter that is destroyed leaves its slot.
    void SetLevel1(TMMLevel* level);
    void SetLevel2(TMMLevel* level);
    TMMLevel* Level1() const { return level1_; }
    TMMLevel* Level2() const { return level2_; }

    // Tests replace the clock that times the arrival of buffers.
    void SetClock(TMMMicroClock clock) { clock_ = clock; }

    void SetWaveFormat(const TWaveFormatEx* format) override;
    void Start() override;
    void Stop() override;
    void Pause() override;
    void Restart() override;
    void Reset() override;
    void BufferReady(TMMWaveHdr* lpWaveHdr) override;
    void BufferLoad(TMMWaveHdr* lpWaveHdr, bool& moreBuffers) override;

    // Feeds each meter the next block of the current buffer, at most one block per call.
    void Trigger();

    bool Running() const;

private:
    friend class TMMLevel;

    void ShowData(const char* data, std::uint32_t bytes);
    // The caller holds the lock.
    void TriggerLocked();
    void SetLevel(TMMLevel*& slot, TMMLevel* other, TMMLevel* level);
    void LevelDestroyed(TMMLevel* level);
    void ConfigureDisplays(const TWaveFormatEx* format);
    void FillSilence();

    // Read on the arriving thread, set on the user-interface thread.
    std::atomic<bool> enabled_{true};
    std::atomic<bool> autoTrigger_{true};
    std::atomic<bool> synchronize_{true};
    std::atomic<bool> realTime_{true};
    bool autoConvert_ = true;
    int speed_ = 5000;
    TMMTriggerMethod triggerMethod_ = TMMTriggerMethod::tmMessage;
    TMMTriggerMode triggerMode_ = TMMTriggerMode::tmNone;
    int triggerLevel_ = 0;
    bool refreshOnStop_ = true;
    bool enterIdle_ = true;
    TMMMicroClock clock_;

    mutable std::mutex lock_;
    TMMLevel* level1_ = nullptr;
    TMMLevel* level2_ = nullptr;
    bool running_ = false;
    bool displayPaused_ = false;
    bool pcmMode_ = false;
    std::unique_ptr<char[]> copy_;
    std::uint32_t copySize_ = 0;
    std::uint32_t validBytes_ = 0;
    std::uint8_t silence_ = 0;
    std::int64_t arrival_ = 0;
    std::uint32_t avgBytesPerSec_ = 0;
    bool levelsPending_ = false;
    std::uint32_t levelsReadPosition_ = 0;
};
