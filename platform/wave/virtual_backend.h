#pragma once
// Virtual devices: a test-signal input and a silent output, paced by a WaveClock. They record
// and play in frames of the clock's time, exactly as a sound card would: an input whose queue
// runs empty loses what it records meanwhile (an overrun), an output whose queue runs empty
// plays silence (an underrun) and starts the next buffer when it arrives. A device can be made
// to fail as a sound card that is gone does (for tests).

#include "wave_clock.h"
#include "wave_device.h"

#include <atomic>
#include <memory>

namespace qex::platform::wave {

// Whether a virtual device can take the format (PCM, 8 or 16 bits, 1..8 channels).
bool virtualDeviceAccepts(const WaveFormatEx& format);

// The failure a device reports while it is not 0: the device's entry holds it, every device
// opened on that entry reads it at each step of its clock.
using VirtualFailure = std::shared_ptr<std::atomic<int>>;

std::unique_ptr<WaveDevice> makeVirtualDevice(WaveDirection direction, const WaveFormatEx& format,
                                              WaveCallback callback, void* instance, std::shared_ptr<WaveClock> clock,
                                              VirtualFailure failure);

} // namespace qex::platform::wave
