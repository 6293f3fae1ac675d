#pragma once
// The base of the two device components (wave input and wave output). A device component
// drives the lifecycle of the chain around it: opening, starting, pausing, restarting and
// resetting walk the chain head first; closing and stopping walk it tail first, so that the
// output device lets go of its buffers before the components upstream of it stop.

#include "dsp_component.h"

#include <cstdint>
#include <string>

using TMMDeviceId = std::int32_t;
constexpr TMMDeviceId MapperId = -1;  // the system's default device
constexpr TMMDeviceId InvalidId = -2; // an identifier outside the installed devices

enum class TMMCBMode { cmWindow, cmCallback, cmThread };

enum class TMMChainOperation { Open, Close, Start, Pause, Restart, Stop, Reset, Looped };

class TMMCustomSoundComponent : public TMMDSPComponent {
public:
    bool IsSoundDevice() const override { return true; }

    void Open() override { ChainOperation(TMMChainOperation::Open); }
    void Close() override { ChainOperation(TMMChainOperation::Close); }
    void Start() override { ChainOperation(TMMChainOperation::Start); }
    void Pause() override { ChainOperation(TMMChainOperation::Pause); }
    void Restart() override { ChainOperation(TMMChainOperation::Restart); }
    void Stop() override { ChainOperation(TMMChainOperation::Stop); }
    void Reset() override { ChainOperation(TMMChainOperation::Reset); }
    void Looped() override { ChainOperation(TMMChainOperation::Looped); }

    virtual void SetNumBuffers(int value) = 0;
    virtual int GetNumBuffers() const = 0;
    virtual void SetDeviceID(TMMDeviceId value) = 0;
    virtual TMMDeviceId GetDeviceID() const = 0;
    virtual void SetProductName(const std::string&) {}
    virtual std::string GetProductName() const = 0;
    virtual void SetCallBackMode(TMMCBMode value) = 0;
    virtual TMMCBMode GetCallBackMode() const = 0;

    // True when, at Open, another device component lies upstream.
    bool HasSoundInput() const { return hasSoundInput_; }

protected:
    // Walks the chain for the operation and finally does the base operation on this component.
    void ChainOperation(TMMChainOperation operation);

private:
    TMMDSPComponent* WalkStart(bool forOpen);
    void WalkHeadFirst(TMMChainOperation operation);
    void WalkTailFirst(TMMChainOperation operation);
    void BaseOperation(TMMChainOperation operation);

    bool hasSoundInput_ = false;
};

// Runs one lifecycle operation on a component through its virtual interface.
void applyChainOperation(TMMDSPComponent* component, TMMChainOperation operation);
