// The processing module's published entry and its two interface records.

#include "winamp_dsp.h"

namespace {

char kDescription[] = "QEX";

void Config(winampDSPModule*) {}

int Init(winampDSPModule*)
{
    return 0;
}

int ModifySamples(winampDSPModule*, short int*, int numsamples, int, int, int)
{
    return numsamples;
}

void Quit(winampDSPModule*) {}

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
