#include "dsp_component.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

namespace {

// Every live component, so that a link change can reach former neighbours. Created with the
// first component and freed with the last one.
struct Registry {
    std::mutex lock;
    std::vector<TMMDSPComponent*> components;
};

std::mutex registryGuard;
std::unique_ptr<Registry> registry;

std::vector<TMMDSPComponent*> registeredComponents()
{
    std::lock_guard guard(registryGuard);
    return registry ? registry->components : std::vector<TMMDSPComponent*>{};
}

constexpr std::size_t kMaxBackNameLength = 20;

} // namespace

int realBufferSizeFor(int bufferSize, const TWaveFormatEx* format)
{
    if (!format || format->BlockAlign == 0)
        return bufferSize;
    const int block = format->BlockAlign;
    return std::max(bufferSize - bufferSize % block, block);
}

int liveComponentCount()
{
    std::lock_guard guard(registryGuard);
    return registry ? static_cast<int>(registry->components.size()) : 0;
}

TMMDSPComponent::TMMDSPComponent()
{
    std::lock_guard guard(registryGuard);
    if (!registry)
        registry = std::make_unique<Registry>();
    registry->components.push_back(this);
}

TMMDSPComponent::~TMMDSPComponent()
{
    destroying_ = true;
    if (input_ && input_->output_ == this) {
        input_->output_ = nullptr;
        input_->outputBackName_.clear();
    }
    if (output_ && output_->input_ == this) {
        output_->input_ = nullptr;
        output_->inputBackName_.clear();
    }
    input_ = output_ = nullptr;

    std::lock_guard guard(registryGuard);
    auto& list = registry->components;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    if (list.empty())
        registry.reset();
}

void TMMDSPComponent::NotifyLinkChanged(TMMDSPComponent* source, TMMLinkSide side)
{
    const std::string name = side == TMMLinkSide::Input ? "Input" : "Output";
    for (TMMDSPComponent* component : registeredComponents())
        component->LinkChanged(source, side, name);
}

void TMMDSPComponent::LinkChanged(TMMDSPComponent* source, TMMLinkSide side, const std::string& name)
{
    if (side == TMMLinkSide::Input) {
        // source's Input changed: its former upstream neighbour lets go of it.
        if (output_ == source && outputBackName_ == name && source->input_ == this) {
            output_ = nullptr;
            outputBackName_.clear();
        }
    } else if (input_ == source && inputBackName_ == name && source->output_ == this) {
        input_ = nullptr;
        inputBackName_.clear();
    }
}

bool TMMDSPComponent::IsSelfOrDownstream(const TMMDSPComponent* component) const
{
    for (const TMMDSPComponent* c = this; c; c = c->output_)
        if (c == component)
            return true;
    return false;
}

bool TMMDSPComponent::IsSelfOrUpstream(const TMMDSPComponent* component) const
{
    for (const TMMDSPComponent* c = this; c; c = c->input_)
        if (c == component)
            return true;
    return false;
}

bool TMMDSPComponent::CanConnectInput(TMMDSPComponent* component) const
{
    return HasInputSide() && component && component->HasOutputSide() && !IsSelfOrDownstream(component);
}

bool TMMDSPComponent::CanConnectOutput(TMMDSPComponent* component) const
{
    return HasOutputSide() && component && component->HasInputSide() && !IsSelfOrUpstream(component);
}

void TMMDSPComponent::AttachInput(TMMDSPComponent* component, const std::string& name)
{
    input_ = component;
    inputBackName_ = name.substr(0, kMaxBackNameLength);
}

void TMMDSPComponent::AttachOutput(TMMDSPComponent* component, const std::string& name)
{
    output_ = component;
    outputBackName_ = name.substr(0, kMaxBackNameLength);
}

void TMMDSPComponent::SetInput(TMMDSPComponent* component)
{
    if (component == input_ || (component && !CanConnectInput(component)))
        return;
    Stop();
    if (input_) {
        NotifyLinkChanged(this, TMMLinkSide::Input);
        input_ = nullptr;
        inputBackName_.clear();
        InputFormatChanged(nullptr);
    }
    if (!component)
        return;
    NotifyLinkChanged(component, TMMLinkSide::Output);
    AttachInput(component, "Output");
    component->AttachOutput(this, "Input");
    UpdateFormat();
}

void TMMDSPComponent::SetOutput(TMMDSPComponent* component)
{
    if (component == output_ || (component && !CanConnectOutput(component)))
        return;
    Stop();
    if (output_) {
        NotifyLinkChanged(this, TMMLinkSide::Output);
        TMMDSPComponent* former = output_;
        output_ = nullptr;
        outputBackName_.clear();
        former->InputFormatChanged(nullptr);
    }
    if (!component)
        return;
    NotifyLinkChanged(component, TMMLinkSide::Input);
    AttachOutput(component, "Input");
    component->AttachInput(this, "Output");
    UpdateFormat();
}

void TMMDSPComponent::UpdateFormat()
{
    if (loading_ || destroying_)
        return;
    if (input_)
        InputFormatChanged(input_->WaveFormat());
    else if (output_)
        output_->InputFormatChanged(WaveFormat());
}

void TMMDSPComponent::SetWaveFormat(const TWaveFormatEx* format)
{
    if (format != format_.get()) {
        if (started_)
            Stop();
        format_ = OwnedWaveFormat(format);
    }
    if (!loading_ && !destroying_ && output_)
        output_->InputFormatChanged(format_.get());
}

void TMMDSPComponent::InputFormatChanged(const TWaveFormatEx* format)
{
    SetWaveFormat(format);
}

void TMMDSPComponent::Loaded()
{
    loading_ = false;
    SetWaveFormat(WaveFormat());
}

int TMMDSPComponent::GetBufferSize() const
{
    return opened_ ? realBufferSize_ : bufferSize_;
}

void TMMDSPComponent::SetBufferSize(int size)
{
    if (size == bufferSize_)
        return;
    if (started_)
        Stop();
    bufferSize_ = size;
}

void TMMDSPComponent::Open()
{
    if (opened_)
        return;
    realBufferSize_ = realBufferSizeFor(bufferSize_, WaveFormat());
    opened_ = true;
    started_ = false;
    paused_ = false;
}

void TMMDSPComponent::Close()
{
    opened_ = false;
}

void TMMDSPComponent::Start()
{
    if (opened_ && !started_)
        started_ = true;
}

void TMMDSPComponent::Pause()
{
    paused_ = true;
}

void TMMDSPComponent::Restart()
{
    paused_ = false;
}

void TMMDSPComponent::Stop()
{
    if (started_) {
        started_ = false;
        paused_ = false;
    }
}

void TMMDSPComponent::Reset() {}

void TMMDSPComponent::Looped() {}

void TMMDSPComponent::BufferReady(TMMWaveHdr* lpWaveHdr)
{
    if (OnBufferReady)
        OnBufferReady(this, lpWaveHdr);
    if (output_)
        output_->BufferReady(lpWaveHdr);
}

void TMMDSPComponent::BufferLoad(TMMWaveHdr* lpWaveHdr, bool& moreBuffers)
{
    if (OnBufferLoad)
        OnBufferLoad(this, lpWaveHdr, moreBuffers);
    if (input_)
        input_->BufferLoad(lpWaveHdr, moreBuffers);
}
