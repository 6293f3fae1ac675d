#include "chain_settings.h"

#include "platform/wave/wave_service.h"

using qex::platform::IniFile;

namespace {

constexpr const char* kDevices = "Devices";

bool defaultCaptureOpens()
{
    using namespace qex::platform::wave;
    constexpr std::uint16_t kPcm = 1;
    const WaveFormatEx format{kPcm, 2, 44100, 44100 * 4, 4, 16, 0};
    WaveHandle handle = nullptr;
    return waveOpen(WaveDirection::Input, &handle, -1, &format, nullptr, nullptr, true) == kWaveNoError;
}

// The identifier of the device of that name, or the default device's when there is none.
TMMDeviceId deviceNamed(qex::platform::wave::WaveDirection direction, const std::string& name)
{
    const int id = qex::platform::wave::waveFindDevice(direction, name);
    return id == qex::platform::wave::kWaveNoDevice ? MapperId : id;
}

} // namespace

TStoredDevices readChainSettings(const IniFile& file, TAudioChain& chain, int currentPriorityIndex)
{
    TMMWaveIn& wi = chain.wi;
    TMMWaveOut& wo = chain.wo;
    wi.SetDeviceID(static_cast<TMMDeviceId>(file.readInteger(kDevices, "Input device", wi.GetDeviceID())));
    wo.SetDeviceID(static_cast<TMMDeviceId>(file.readInteger(kDevices, "Output device", wo.GetDeviceID())));
    TStoredDevices stored;
    stored.inputName = file.readString(kDevices, "Input device name", "");
    stored.outputName = file.readString(kDevices, "Output device name", "");

    wi.SetNumBuffers(static_cast<int>(file.readInteger(kDevices, "Input num buffers", wi.GetNumBuffers())));
    wi.SetBufferSize(static_cast<int>(file.readInteger(kDevices, "Input buffer size", wi.GetBufferSize())));
    chain.MMRingBuffer1.SetBufferSize(wi.GetBufferSize());
    wo.SetNumBuffers(static_cast<int>(file.readInteger(kDevices, "Output num buffers", wo.GetNumBuffers())));
    wo.SetBufferSize(static_cast<int>(file.readInteger(kDevices, "Output buffer size", wo.GetBufferSize())));

    const long long priority = file.readInteger(kDevices, "Priority", currentPriorityIndex);
    const bool inList = priority >= 0 && priority < qex::platform::kThreadPriorityCount;
    stored.priorityIndex = inList ? static_cast<int>(priority) : qex::platform::kDesignPriorityIndex;
    wi.SetPriority(qex::platform::threadPriorityFromIndex(stored.priorityIndex));
    wo.SetPriority(qex::platform::threadPriorityFromIndex(stored.priorityIndex));
    return stored;
}

void writeChainSettings(IniFile& file, const TAudioChain& chain, int priorityIndex)
{
    const TMMWaveIn& wi = chain.wi;
    const TMMWaveOut& wo = chain.wo;
    file.writeInteger(kDevices, "Input device", wi.GetDeviceID());
    file.writeString(kDevices, "Input device name", wi.GetProductName());
    file.writeInteger(kDevices, "Output device", wo.GetDeviceID());
    file.writeString(kDevices, "Output device name", wo.GetProductName());
    file.writeInteger(kDevices, "Input num buffers", wi.GetNumBuffers());
    file.writeInteger(kDevices, "Input buffer size", wi.GetBufferSize());
    file.writeInteger(kDevices, "Output num buffers", wo.GetNumBuffers());
    file.writeInteger(kDevices, "Output buffer size", wo.GetBufferSize());
    file.writeInteger(kDevices, "Priority", priorityIndex);
}

bool devicesChangedSince(const TStoredDevices& stored, const TAudioChain& chain)
{
    return chain.wi.GetProductName() != stored.inputName || chain.wo.GetProductName() != stored.outputName;
}

std::vector<std::string> deviceNames(TMMCustomWaveDevice& device)
{
    std::vector<std::string> names;
    for (TMMDeviceId id = MapperId; id < device.DeviceCount(); ++id) {
        device.SetDeviceID(id);
        names.push_back(device.GetProductName());
    }
    device.SetDeviceID(MapperId);
    return names;
}

void chooseFirstStartDevices(TAudioChain& chain)
{
    if (defaultCaptureOpens())
        return;
    using namespace qex::platform::wave;
    chain.wi.SetDeviceID(deviceNamed(WaveDirection::Input, kTestSignalInputName));
    chain.wo.SetDeviceID(deviceNamed(WaveDirection::Output, kSilentOutputName));
}
