#pragma once
// The streaming component: one stage of the audio chain with at most one upstream neighbour
// (Input) and one downstream neighbour (Output).
//
// Buffers move by push (BufferReady: a producer hands a filled buffer downstream on its own
// thread) and by pull (BufferLoad: a consumer asks upstream to fill a buffer on its own thread).
// Linking keeps the chain straight and free of cycles; a format set at the head travels to the
// tail; opening fixes a real buffer size that holds whole sample frames.

#include "wave_format.h"
#include "wave_header.h"

#include <functional>
#include <string>

class TMMDSPComponent;

using TMMBufferEvent = std::function<void(TMMDSPComponent* sender, TMMWaveHdr* lpWaveHdr)>;
using TMMBufferLoadEvent = std::function<void(TMMDSPComponent* sender, TMMWaveHdr* lpWaveHdr, bool& moreBuffers)>;
using TMMNotifyEvent = std::function<void(TMMDSPComponent* sender)>;

enum class TMMLinkSide { Input, Output };

class TMMDSPComponent {
public:
    TMMDSPComponent();
    virtual ~TMMDSPComponent();
    TMMDSPComponent(const TMMDSPComponent&) = delete;
    TMMDSPComponent& operator=(const TMMDSPComponent&) = delete;

    // Format propagation: the upstream format flows down, or the own format to the output.
    virtual void UpdateFormat();
    // Tells this component that the link of source on one side changed (see SetInput).
    virtual void LinkChanged(TMMDSPComponent* source, TMMLinkSide side, const std::string& name);

    virtual void SetInput(TMMDSPComponent* component);
    virtual TMMDSPComponent* GetInput() const { return input_; }
    virtual void SetOutput(TMMDSPComponent* component);
    virtual TMMDSPComponent* GetOutput() const { return output_; }

    virtual void SetWaveFormat(const TWaveFormatEx* format);
    virtual const TWaveFormatEx* WaveFormat() const { return format_.get(); }

    // The real size while opened, else the configured size.
    virtual int GetBufferSize() const;
    virtual void SetBufferSize(int size);

    virtual void InputFormatChanged(const TWaveFormatEx* format);

    virtual void Open();
    virtual void Close();
    virtual void Start();
    virtual void Pause();
    virtual void Restart();
    virtual void Stop();
    virtual void Reset();
    virtual void Looped();

    virtual void BufferReady(TMMWaveHdr* lpWaveHdr);
    virtual void BufferLoad(TMMWaveHdr* lpWaveHdr, bool& moreBuffers);

    virtual void AttachInput(TMMDSPComponent* component, const std::string& name);
    virtual void AttachOutput(TMMDSPComponent* component, const std::string& name);
    virtual bool CanConnectInput(TMMDSPComponent* component) const;
    virtual bool CanConnectOutput(TMMDSPComponent* component) const;

    // Whether the component takes a neighbour on that side (the wave input has no input side).
    virtual bool HasInputSide() const { return true; }
    virtual bool HasOutputSide() const { return true; }
    // Device components own a device and a clock; they drive the chain's lifecycle walks.
    virtual bool IsSoundDevice() const { return false; }

    bool Opened() const { return opened_; }
    bool Started() const { return started_; }
    bool Paused() const { return paused_; }

    // The owning window is building the chain: formats are stored but not passed on.
    void BeginLoading() { loading_ = true; }
    // The owning window has built the chain: re-applies the own format once, so that the head's
    // format reaches the tail even if links were made after it was set.
    void Loaded();
    bool Loading() const { return loading_; }
    bool Destroying() const { return destroying_; }

    TMMBufferEvent OnBufferReady;
    TMMBufferLoadEvent OnBufferLoad;

protected:
    // For destructors of derived components: from here on no format is passed on.
    void BeginDestroy() { destroying_ = true; }
    void SetOpened(bool value) { opened_ = value; }
    void SetStarted(bool value) { started_ = value; }
    void SetPaused(bool value) { paused_ = value; }
    int ConfiguredBufferSize() const { return bufferSize_; }
    void StoreBufferSize(int size) { bufferSize_ = size; }
    const std::string& InputBackName() const { return inputBackName_; }
    const std::string& OutputBackName() const { return outputBackName_; }

private:
    static void NotifyLinkChanged(TMMDSPComponent* source, TMMLinkSide side);
    bool IsSelfOrDownstream(const TMMDSPComponent* component) const;
    bool IsSelfOrUpstream(const TMMDSPComponent* component) const;

    TMMDSPComponent* input_ = nullptr;
    TMMDSPComponent* output_ = nullptr;
    std::string inputBackName_;
    std::string outputBackName_;
    OwnedWaveFormat format_;
    int bufferSize_ = 2048;
    int realBufferSize_ = 2048;
    bool opened_ = false;
    bool started_ = false;
    bool paused_ = false;
    bool loading_ = false;
    bool destroying_ = false;
};

// Real buffer size for a configured size: whole sample frames and at least one.
int realBufferSizeFor(int bufferSize, const TWaveFormatEx* format);

// Number of live streaming components (the registry that carries link notices).
int liveComponentCount();
