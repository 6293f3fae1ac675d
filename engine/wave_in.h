#pragma once
// The wave input: the device component at the head of the chain. It keeps NumBuffers buffers
// queued at a recording device and pushes each filled one downstream (BufferReady), then hands
// it back to the device. Opening, starting, stopping and closing it drive the whole chain.

#include "custom_wave_device.h"
#include "sample_layout.h"

#include <cstdint>

using TMMWaveInThread = TMMWaveDeviceThread;

class TMMWaveIn : public TMMCustomWaveDevice {
public:
    TMMWaveIn();
    ~TMMWaveIn() override;

    bool HasInputSide() const override { return false; }

    // Mono or stereo set the channel count; multi-channel is only ever reported.
    void SetMode(TMMMode mode);
    TMMMode GetMode() const;
    void SetChannels(int channels); // 1..8
    int GetChannels() const { return channels_; }
    void SetBitLength(TMMBits bits);
    TMMBits GetBitLength() const { return bits_ == 16 ? TMMBits::b16Bit : TMMBits::b8Bit; }
    void SetSampleRate(int rate); // 8000..100000
    int GetSampleRate() const { return rate_; }

    // Closes the device first; a valid PCM format sets rate, bits and channels.
    void SetWaveFormat(const TWaveFormatEx* format) override;

    void Open() override;
    void Start() override;
    void Pause() override;
    void Restart() override;

    // Pushes a recorded buffer downstream, counting the bytes.
    void BufferReady(TMMWaveHdr* lpWaveHdr) override;

    // Recorded so far, in TimeFormat; 0 when not open.
    std::int64_t GetPosition();
    std::uint64_t RecordedBytes() const;

protected:
    void DeviceBufferDone(TMMWaveHdr* header) override;
    void HandleBuffer(const TMMDeviceMessage& message) override;
    std::exception_ptr MakeError(const std::string& message) const override;
    void LetGoOfDevice() override;
    void StopDevice() override;
    void CompleteStop() override;
    bool BuffersBack() const override { return queued_ == 0; }

private:
    void RebuildFormat();
    void CheckFormat();
    void AllocateBuffers();
    // A buffer handed back by a stop or a reset is accounted for.
    void CountHandedBack();
    // Hands a pushed buffer back to the device to record into, unless a stop has begun.
    void Requeue(TMMWaveHdr* header);

    int channels_ = 1;
    int bits_ = 8;
    int rate_ = 11025;

    // Shared with the device's notifications, under lock_.
    int queued_ = 0;
    std::uint64_t bytesRecorded_ = 0;
    int expectedIndex_ = 0;
};
