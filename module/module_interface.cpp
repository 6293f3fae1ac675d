// The processing module's published entry and its two interface records. All state is the
// one ProcessingModule of the library; the records carry no per-instance data.

#include "platform/system_folder.h"
#include "processing_module.h"
#include "winamp_dsp.h"

namespace {

char kDescription[] = "QEX";

// Settings and presets lie beside the host executable, not beside this library.
qex::ProcessingModule processingModule(qex::platform::executablePath());

void Config(winampDSPModule*)
{
    processingModule.Config();
}

int Init(winampDSPModule*)
{
    return processingModule.Init();
}

int ModifySamples(winampDSPModule*, short int* samples, int numsamples, int bps, int nch, int srate)
{
    return processingModule.ModifySamples(samples, numsamples, bps, nch, srate);
}

void Quit(winampDSPModule*)
{
    processingModule.Quit();
}

winampDSPModule module = {kDescription, nullptr, nullptr, Config, Init, ModifySamples, Quit, nullptr};

winampDSPModule* getModule(int index)
{
    return index == 0 ? &module : nullptr;
}

winampDSPHeader header = {0x20, kDescription, getModule};

} // namespace

extern "C" __attribute__((visibility("default"))) winampDSPHeader* winampDSPGetHeader2()
{
    return &header;
}
