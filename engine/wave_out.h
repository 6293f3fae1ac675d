#pragma once
// The wave output: the device component that plays the chain's audio. It keeps NumBuffers
// buffers queued at a playing device; each time one has been played it is pushed downstream
// (to the level meters), refilled by pulling from upstream (BufferLoad) and queued again.
// When the source runs out, the queued buffers play out and the output stops itself.

#include "custom_wave_device.h"

#include <atomic>
#include <cstdint>

using TMMWaveOutThread = TMMWaveDeviceThread;

class TMMWaveOut : public TMMCustomWaveDevice {
public:
    TMMWaveOut();
    ~TMMWaveOut() override;

    void Open() override;
    void Start() override;
    void Pause() override;
    void Restart() override;
    // A stop that fails closes the output.
    void Stop() override;

    // Played so far, in TimeFormat; 0 when not open.
    std::int64_t GetPosition();
    std::uint64_t PlayedBytes() const;

    // Fired with each buffer just before it is queued to the device.
    TMMBufferEvent OnBufferFilled;

protected:
    void DeviceBufferDone(TMMWaveHdr* header) override;
    void HandleBuffer(const TMMDeviceMessage& message) override;
    std::exception_ptr MakeError(const std::string& message) const override;
    void LetGoOfDevice() override;
    void StopDevice() override;
    void CompleteStop() override;
    bool BuffersBack() const override { return pending_ <= 0 && unhandled_ <= 0; }
    bool PlayedOut() const override { return BuffersBack(); }
    void HoldForPostedStop() override;

private:
    // Fills and queues buffers until NumBuffers are queued or the source ends; returns how many.
    int Preload();
    // Pulls one buffer from upstream; returns the bytes it got.
    std::uint32_t Load(TMMWaveHdr* header);
    void Queue(TMMWaveHdr* header);
    void ReleaseStartedBuffers();

    std::atomic<bool> moreData_{false};
    std::uint64_t positionOffset_ = 0; // position kept over a stop or a pause with reset
    bool refillOnRestart_ = false;     // a pause took the queued buffers back

    // Shared with the device's notifications, under lock_.
    int pending_ = 0;   // buffers at the device whose done has not been seen
    int unhandled_ = 0; // played buffers on their way to the handler
    int startedCount_ = 0;
    int expectedIndex_ = 0;
    std::uint64_t bytesPlayed_ = 0;
};
