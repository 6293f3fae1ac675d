// A DSP plug-in library for the plug-in host's tests. Built in variants by compile definitions:
//   TEST_ENTRY_PUBLISHED  exports winampDSPGetHeader2 (the published kind)
//   TEST_ENTRY_ENGINE     exports MMPlugInDSPGetHeader (the engine kind)
//   TEST_ENTRY_BOTH       exports winampDSPGetHeader (engine kind) and winampDSPGetHeader2
//   (none of them)        exports no entry at all
//   TEST_VERSION          the header's version
//   TEST_MODULES          how many modules the header offers
//   TEST_FAULT            the hardware fault ModifySamples raises from the start (see the control)

#include "test_plugin_control.h"

#include "mm_plugin_dsp.h"
#include "winamp_dsp.h"

#include <cfenv>
#include <cstdint>
#include <stdexcept>

#define EXPORT extern "C" __attribute__((visibility("default")))

#ifndef TEST_FAULT
#define TEST_FAULT 0
#endif

constexpr TestPluginControl InitialControl()
{
    TestPluginControl control{};
    control.returnNumerator = control.returnDenominator = 1;
    control.faultOnProcess = TEST_FAULT;
    return control;
}

extern "C" {
__attribute__((visibility("default"))) TestPluginControl qex_test_plugin = InitialControl();
}

namespace {

char kDescription[] = "Test plug-in";
char kModuleName[] = "Test module";
TestPluginControl& control = qex_test_plugin;

// Does what a module with a bug does: writes through a null pointer or divides by zero.
void raiseFault(int fault)
{
    // Volatile, so that the compiler can neither see the zero nor turn the division into a test.
    volatile int zero = 0;
    volatile int dividend = 7;
    if (fault == kNullWrite)
        *reinterpret_cast<volatile int*>(static_cast<std::uintptr_t>(zero)) = 1;
    else if (fault == kDivisionByZero)
        zero = dividend / zero;
}

// Processes frames in place and returns how many frames the host gets back: fewer, or more
// (the extra ones repeat the buffer from its start; the host's held buffer has room for twice).
int process(short* samples, int frames, int channels)
{
    count(control.processCalls);
    raiseFault(control.faultOnProcess);
    if (control.throwOnProcess)
        throw std::runtime_error("module fault");
    if (control.leaveRoundingUpward)
        std::fesetround(FE_UPWARD);
    for (int i = 0; i < frames * channels; ++i)
        samples[i] = testPluginProcess(samples[i]);
    const int returned = frames * control.returnNumerator / control.returnDenominator;
    for (int i = frames * channels; i < returned * channels; ++i)
        samples[i] = samples[i - frames * channels];
    return returned;
}

void Config(winampDSPModule*)
{
    ++control.configCalls;
    raiseFault(control.faultOnConfig);
}
int Init(winampDSPModule*)
{
    ++control.initCalls;
    raiseFault(control.faultOnInit);
    return control.initResult;
}
int ModifySamples(winampDSPModule*, short* samples, int frames, int bits, int channels, int rate)
{
    control.lastFrames = frames;
    control.lastBits = bits;
    control.lastChannels = channels;
    control.lastRate = rate;
    return process(samples, frames, channels);
}
void Quit(winampDSPModule*)
{
    ++control.quitCalls;
    raiseFault(control.faultOnQuit);
    if (control.throwOnQuit)
        throw std::runtime_error("module fault");
}

winampDSPModule publishedModule = {kModuleName, nullptr, nullptr, Config, Init, ModifySamples, Quit, nullptr};
winampDSPModule* getPublishedModule(int index)
{
    return index >= 0 && index < TEST_MODULES ? &publishedModule : nullptr;
}
[[maybe_unused]] winampDSPHeader publishedHeader = {TEST_VERSION, kDescription, getPublishedModule};

void EngineConfig(TMMPlugInDSPModule*)
{
    ++control.configCalls;
}
int EngineInit(TMMPlugInDSPModule* module)
{
    ++control.initCalls;
    control.engineRate = module->SampleRate;
    control.engineChannels = module->Channels;
    control.engineFrames = module->FramesPerBuffer;
    return control.initResult;
}
void EngineProcess(TMMPlugInDSPModule* module, short* samples)
{
    process(samples, static_cast<int>(module->FramesPerBuffer), static_cast<int>(module->Channels));
}
void EngineQuit(TMMPlugInDSPModule*)
{
    ++control.quitCalls;
}

TMMPlugInDSPModule engineModule = {kModuleName, nullptr, nullptr,       0,       0,       0,          EngineConfig,
                                   EngineInit,  nullptr, EngineProcess, nullptr, nullptr, EngineQuit, nullptr};
TMMPlugInDSPModule* getEngineModule(int index)
{
    return index >= 0 && index < TEST_MODULES ? &engineModule : nullptr;
}
[[maybe_unused]] TMMPlugInDSPHeader engineHeader = {TEST_VERSION, kDescription, getEngineModule};

} // namespace

#if defined(TEST_ENTRY_PUBLISHED) || defined(TEST_ENTRY_BOTH)
EXPORT winampDSPHeader* winampDSPGetHeader2()
{
    return &publishedHeader;
}
#endif
#if defined(TEST_ENTRY_ENGINE)
EXPORT TMMPlugInDSPHeader* MMPlugInDSPGetHeader()
{
    return &engineHeader;
}
#endif
#if defined(TEST_ENTRY_BOTH)
EXPORT TMMPlugInDSPHeader* winampDSPGetHeader()
{
    return &engineHeader;
}
#endif
