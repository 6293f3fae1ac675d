#include "sound_component.h"

void applyChainOperation(TMMDSPComponent* component, TMMChainOperation operation)
{
    switch (operation) {
    case TMMChainOperation::Open: component->Open(); break;
    case TMMChainOperation::Close: component->Close(); break;
    case TMMChainOperation::Start: component->Start(); break;
    case TMMChainOperation::Pause: component->Pause(); break;
    case TMMChainOperation::Restart: component->Restart(); break;
    case TMMChainOperation::Stop: component->Stop(); break;
    case TMMChainOperation::Reset: component->Reset(); break;
    case TMMChainOperation::Looped: component->Looped(); break;
    }
}

void TMMCustomSoundComponent::ChainOperation(TMMChainOperation operation)
{
    if (operation == TMMChainOperation::Close || operation == TMMChainOperation::Stop)
        WalkTailFirst(operation);
    else
        WalkHeadFirst(operation);
    BaseOperation(operation);
}

// Where a walk begins: this component when another device lies upstream, else the chain's head.
TMMDSPComponent* TMMCustomSoundComponent::WalkStart(bool forOpen)
{
    if (forOpen)
        hasSoundInput_ = false;
    TMMDSPComponent* head = this;
    for (TMMDSPComponent* c = GetInput(); c; c = c->GetInput()) {
        if (c->IsSoundDevice()) {
            if (forOpen)
                hasSoundInput_ = true;
            return this;
        }
        head = c;
    }
    return head;
}

void TMMCustomSoundComponent::WalkHeadFirst(TMMChainOperation operation)
{
    const bool open = operation == TMMChainOperation::Open;
    for (TMMDSPComponent* c = WalkStart(open); c; c = c->GetOutput()) {
        if (c == this)
            continue;
        if (open)
            c->SetBufferSize(GetBufferSize());
        applyChainOperation(c, operation);
        if (c->IsSoundDevice())
            break;
    }
}

void TMMCustomSoundComponent::WalkTailFirst(TMMChainOperation operation)
{
    // The next device downstream takes its own part of the chain with it.
    for (TMMDSPComponent* c = GetOutput(); c; c = c->GetOutput()) {
        if (c->IsSoundDevice()) {
            applyChainOperation(c, operation);
            break;
        }
    }
    for (TMMDSPComponent* c = WalkStart(false); c; c = c->GetOutput()) {
        if (c == this)
            continue;
        if (c->IsSoundDevice())
            break;
        applyChainOperation(c, operation);
    }
}

void TMMCustomSoundComponent::BaseOperation(TMMChainOperation operation)
{
    switch (operation) {
    case TMMChainOperation::Open: TMMDSPComponent::Open(); break;
    case TMMChainOperation::Close: TMMDSPComponent::Close(); break;
    case TMMChainOperation::Start: TMMDSPComponent::Start(); break;
    case TMMChainOperation::Pause: TMMDSPComponent::Pause(); break;
    case TMMChainOperation::Restart: TMMDSPComponent::Restart(); break;
    case TMMChainOperation::Stop: TMMDSPComponent::Stop(); break;
    case TMMChainOperation::Reset: TMMDSPComponent::Reset(); break;
    case TMMChainOperation::Looped: TMMDSPComponent::Looped(); break;
    }
}
