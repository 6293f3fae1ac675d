#include "audio_chain.h"

#include "message_boxes.h"
#include "module_file.h"

#include <QWidget>

#include <filesystem>

namespace {

constexpr int kRate = 44100;
constexpr int kDesignBuffers = 8;
constexpr int kDesignBufferSize = 4096;

bool deviceInRange(TMMDeviceId id, int count)
{
    return id >= MapperId && id <= count - 1;
}

} // namespace

TAudioChain::TAudioChain()
{
    TMMDSPComponent* const chain[] = {&wi, &MMRingBuffer1, &dspPlugin, &wo, &mmconn, &mmloudness};
    for (TMMDSPComponent* c : chain)
        c->BeginLoading();

    wi.SetChannels(2);
    wi.SetBitLength(TMMBits::b16Bit);
    wi.SetSampleRate(kRate);
    TMMCustomWaveDevice* const devices[] = {&wi, &wo};
    for (TMMCustomWaveDevice* device : devices) {
        device->SetNumBuffers(kDesignBuffers);
        device->SetBufferSize(kDesignBufferSize);
        device->SetCallBackMode(TMMCBMode::cmThread);
        device->SetDeviceID(MapperId);
        device->SetPriority(TThreadPriority::tpNormal);
    }

    MMRingBuffer1.SetBufferSize(kDesignBufferSize);
    MMRingBuffer1.SetNumBuffers(2 * kDesignBuffers);
    MMRingBuffer1.SetQueueMode(TMMQueueMode::qmDuplex);

    mmconn.SetAutoConvert(false);
    mmconn.SetTriggerMethod(TMMTriggerMethod::tmTimer);
    mmconn.SetTriggerMode(TMMTriggerMode::tmUpFlank);
    mmconn.SetRealTime(false);
    mmconn.SetEnterIdle(false);

    wi.SetOutput(&MMRingBuffer1);
    MMRingBuffer1.SetOutput(&dspPlugin);
    dspPlugin.SetOutput(&wo);
    wo.SetOutput(&mmconn);
    mmconn.SetOutput(&mmloudness);
    for (TMMDSPComponent* c : chain)
        c->Loaded();
}

bool TAudioChain::DevicesValid() const
{
    return deviceInRange(wi.GetDeviceID(), wi.DeviceCount()) && deviceInRange(wo.GetDeviceID(), wo.DeviceCount());
}

void TAudioChain::LoadModule(QWidget* owner)
{
    const auto module = moduleFilePath();
    std::error_code ec;
    if (!std::filesystem::exists(module, ec))
        return;
    if (!dspPlugin.LoadModuleFile(module.string())) {
        showWarningMessage(QStringLiteral("Modulo audio non trovato."), owner);
        return;
    }
    dspPlugin.OpenModules(owner ? reinterpret_cast<void*>(owner->winId()) : nullptr);
    dspPlugin.SelectModule(0);
}
