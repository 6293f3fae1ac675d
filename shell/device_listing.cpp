#include "device_listing.h"

#include "audio_chain.h"
#include "chain_settings.h"

#include <iomanip>

namespace {

void listOf(std::ostream& out, const char* heading, TMMCustomWaveDevice& device)
{
    out << heading << '\n';
    TMMDeviceId id = MapperId;
    for (const std::string& name : deviceNames(device))
        out << std::setw(4) << id++ << "  " << name << '\n';
}

} // namespace

int listDevices(std::ostream& out)
{
    TAudioChain chain;
    listOf(out, "Input devices:", chain.wi);
    listOf(out, "Output devices:", chain.wo);
    return out ? 0 : 1;
}
