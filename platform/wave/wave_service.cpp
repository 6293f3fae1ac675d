#include "wave_service.h"

#include "alsa_backend.h"
#include "virtual_backend.h"
#include "wave_clock.h"
#include "wave_device.h"

#include <mutex>
#include <optional>
#include <vector>

namespace qex::platform::wave {

namespace {

struct DeviceEntry {
    bool isVirtual = false;
    std::string pcm;  // ALSA devices
    std::string name; // as listed
    std::uint32_t formats = kAllStandardFormats;
    VirtualFailure failure; // virtual devices
};

VirtualFailure noFailure()
{
    return std::make_shared<std::atomic<int>>(0);
}

// The device lists, built once per process at the first call that needs them.
class DeviceRegistry {
public:
    std::optional<DeviceEntry> entry(WaveDirection direction, int id)
    {
        std::lock_guard guard(lock_);
        build();
        if (id == -1)
            return defaults_[index(direction)];
        const auto& list = lists_[index(direction)];
        if (id < 0 || id >= static_cast<int>(list.size()))
            return std::nullopt;
        return list[static_cast<std::size_t>(id)];
    }

    int count(WaveDirection direction)
    {
        std::lock_guard guard(lock_);
        build();
        return static_cast<int>(lists_[index(direction)].size());
    }

    int add(WaveDirection direction, DeviceEntry entry)
    {
        std::lock_guard guard(lock_);
        build();
        auto& list = lists_[index(direction)];
        list.push_back(std::move(entry));
        return static_cast<int>(list.size()) - 1;
    }

    std::shared_ptr<WaveClock> clock()
    {
        std::lock_guard guard(lock_);
        return clock_;
    }

    void setClock(std::shared_ptr<WaveClock> clock)
    {
        std::lock_guard guard(lock_);
        clock_ = clock ? std::move(clock) : std::make_shared<SystemWaveClock>();
    }

private:
    static std::size_t index(WaveDirection direction) { return direction == WaveDirection::Input ? 0 : 1; }

    void build()
    {
        if (built_)
            return;
        built_ = true;
        for (WaveDirection direction : {WaveDirection::Input, WaveDirection::Output}) {
            defaults_[index(direction)] = {false, "default", alsaDefaultDescription(direction), 0, nullptr};
            auto& list = lists_[index(direction)];
            for (auto& pcm : alsaPcms(direction))
                list.push_back({false, pcm.name, pcm.description, 0, nullptr});
            list.push_back({true,
                            {},
                            direction == WaveDirection::Input ? kTestSignalInputName : kSilentOutputName,
                            kAllStandardFormats,
                            noFailure()});
        }
    }

    std::mutex lock_;
    bool built_ = false;
    std::vector<DeviceEntry> lists_[2];
    DeviceEntry defaults_[2];
    std::shared_ptr<WaveClock> clock_ = std::make_shared<SystemWaveClock>();
};

DeviceRegistry& registry()
{
    static DeviceRegistry instance;
    return instance;
}

bool isPcm(const WaveFormatEx* format)
{
    return format && format->FormatTag == 1;
}

} // namespace

int waveGetNumDevs(WaveDirection direction)
{
    return registry().count(direction);
}

int waveGetDevCaps(WaveDirection direction, int deviceId, WaveCaps& caps, WaveCapsDetail detail)
{
    const auto entry = registry().entry(direction, deviceId);
    if (!entry)
        return kWaveErrBadDeviceId;
    caps = WaveCaps{};
    caps.ProductName = entry->name;
    caps.DriverVersion = 0x0100;
    if (detail == WaveCapsDetail::Listed)
        return kWaveNoError;
    if (entry->isVirtual) {
        caps.Formats = entry->formats;
        caps.Channels = 2;
    } else {
        alsaProbeFormats(entry->pcm, direction, caps);
    }
    return kWaveNoError;
}

int waveFindDevice(WaveDirection direction, const std::string& name)
{
    const int count = waveGetNumDevs(direction);
    for (int id = 0; id < count; ++id) {
        WaveCaps caps;
        if (waveGetDevCaps(direction, id, caps, WaveCapsDetail::Listed) == kWaveNoError && caps.ProductName == name)
            return id;
    }
    return kWaveNoDevice;
}

int waveOpen(WaveDirection direction, WaveHandle* handle, int deviceId, const WaveFormatEx* format,
             WaveCallback callback, void* instance, bool query)
{
    if (!query && !handle)
        return kWaveErrInvalidParam;
    const auto entry = registry().entry(direction, deviceId);
    if (!entry)
        return kWaveErrBadDeviceId;
    if (!isPcm(format) || format->BlockAlign == 0)
        return kWaveErrBadFormat;
    if (entry->isVirtual && !virtualDeviceAccepts(*format))
        return kWaveErrBadFormat;
    if (entry->isVirtual && entry->failure->load() != 0)
        return entry->failure->load();
    if (query)
        return entry->isVirtual ? kWaveNoError : alsaQuery(entry->pcm, direction, *format);

    std::unique_ptr<WaveDevice> device = entry->isVirtual
        ? makeVirtualDevice(direction, *format, callback, instance, registry().clock(), entry->failure)
        : makeAlsaDevice(entry->pcm, direction, *format, callback, instance);
    if (const int result = device->open(); result != kWaveNoError)
        return result;
    *handle = device.release();
    return kWaveNoError;
}

int wavePrepareHeader(WaveHandle device, WaveHdr* header)
{
    return device ? device->prepare(header) : kWaveErrInvalidHandle;
}

int waveUnprepareHeader(WaveHandle device, WaveHdr* header)
{
    return device ? device->unprepare(header) : kWaveErrInvalidHandle;
}

int waveAddBuffer(WaveHandle device, WaveHdr* header)
{
    return device ? device->addBuffer(header) : kWaveErrInvalidHandle;
}

int waveStart(WaveHandle device)
{
    return device ? device->start() : kWaveErrInvalidHandle;
}

int waveStop(WaveHandle device)
{
    return device ? device->stop() : kWaveErrInvalidHandle;
}

int waveReset(WaveHandle device)
{
    return device ? device->reset() : kWaveErrInvalidHandle;
}

int waveGetPosition(WaveHandle device, std::uint32_t& samples)
{
    return device ? device->position(samples) : kWaveErrInvalidHandle;
}

int waveGetXruns(WaveHandle device, std::uint32_t& count)
{
    if (!device)
        return kWaveErrInvalidHandle;
    count = device->xruns();
    return kWaveNoError;
}

int waveGetQueueState(WaveHandle device, WaveQueueState& state)
{
    if (!device)
        return kWaveErrInvalidHandle;
    state.queuedBuffers = device->queuedBuffers();
    state.deviceBufferFrames = device->deviceBufferFrames();
    return kWaveNoError;
}

int waveClose(WaveHandle device)
{
    if (!device)
        return kWaveErrInvalidHandle;
    if (const int result = device->close(); result != kWaveNoError)
        return result;
    delete device;
    return kWaveNoError;
}

int waveGetErrorText(int code, std::string& text)
{
    if (code < 0) {
        text = alsaErrorText(code);
        return kWaveNoError;
    }
    switch (code) {
    case kWaveNoError: text = "The operation completed successfully."; break;
    case kWaveErrUnspecified: text = "Unspecified error."; break;
    case kWaveErrBadDeviceId: text = "The device identifier is out of range."; break;
    case kWaveErrInvalidHandle: text = "The device handle is invalid."; break;
    case kWaveErrNoMemory: text = "Unable to allocate memory or start the device thread."; break;
    case kWaveErrInvalidParam: text = "An invalid parameter was passed to the device."; break;
    case kWaveErrBadFormat: text = "The device does not support this wave format."; break;
    case kWaveErrStillPlaying: text = "Buffers are still queued on the device."; break;
    case kWaveErrUnprepared: text = "The buffer has not been prepared."; break;
    default: return kWaveErrInvalidParam;
    }
    return kWaveNoError;
}

void setVirtualClock(std::shared_ptr<WaveClock> clock)
{
    registry().setClock(std::move(clock));
}

int addVirtualDevice(WaveDirection direction, const VirtualDeviceInfo& info)
{
    return registry().add(direction, DeviceEntry{true, {}, info.name, info.formats, noFailure()});
}

int setVirtualDeviceFailure(WaveDirection direction, int deviceId, int code)
{
    const auto entry = registry().entry(direction, deviceId);
    if (!entry || !entry->isVirtual)
        return kWaveErrBadDeviceId;
    entry->failure->store(code);
    return kWaveNoError;
}

} // namespace qex::platform::wave
