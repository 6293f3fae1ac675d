#pragma once
// The "Devices" section of qex.ini as the streaming chain takes it, the device lists the
// settings panel shows, and the devices of a first start.

#include "audio_chain.h"

#include "platform/profile.h"
#include "platform/thread_priority.h"

#include <string>
#include <vector>

struct TStoredDevices {
    std::string inputName; // the product names when the file was written
    std::string outputName;
    int priorityIndex = qex::platform::kDesignPriorityIndex;
};

// Reads the device identifiers, the buffer counts and sizes (the ring buffer takes the input's
// size) and the thread priority into the chain, each with the chain's current value as default
// (the priority with currentPriorityIndex); a priority outside the list gives the design choice.
TStoredDevices readChainSettings(const qex::platform::IniFile& file, TAudioChain& chain, int currentPriorityIndex);

// Writes the "Devices" section from the chain as it is now, with the priority index; throws
// EIniFileException when the file cannot be written.
void writeChainSettings(qex::platform::IniFile& file, const TAudioChain& chain, int priorityIndex);

// Whether the devices the chain names now differ from the stored names (exact comparison).
bool devicesChangedSince(const TStoredDevices& stored, const TAudioChain& chain);

// The product name of every device of the component, in list order: entry 0 is the default
// device (identifier -1), entry n + 1 the device n. The component's identifier ends at -1.
std::vector<std::string> deviceNames(TMMCustomWaveDevice& device);

// The choice of a first start (no settings file): ALSA's default devices, or the virtual test
// signal and silent output where the default device cannot be opened for capture (a machine
// without a sound card).
void chooseFirstStartDevices(TAudioChain& chain);
