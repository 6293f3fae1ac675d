#pragma once
// ALSA devices: real sound cards, and PipeWire or PulseAudio through their ALSA plug-ins.
// Each open device has a thread that moves period-sized blocks between ALSA and the queued
// buffers. The card's own buffer follows the program's: a period per buffer, as many periods as
// buffers; a playback buffer goes back once the card has played it, so the card holds nothing
// on top of the queued buffers. Underruns, overruns and a suspend are recovered (xruns counted); they never stop the
// stream. Any other error, or a recovery that fails, fails the device for good: its buffers come
// back and the next one queued is refused with ALSA's error code.

#include "wave_device.h"

#include <memory>
#include <string>
#include <vector>

namespace qex::platform::wave {

struct AlsaPcm {
    std::string name;        // the PCM name to open
    std::string description; // as the device hints describe it, one line
};

// The PCMs that ALSA's device hints list for a direction, without "default".
std::vector<AlsaPcm> alsaPcms(WaveDirection direction);

// The description of the "default" PCM.
std::string alsaDefaultDescription(WaveDirection direction);

// Fills the standard-format bits and channel count from what the PCM accepts; a PCM that cannot
// be opened right now reports none.
void alsaProbeFormats(const std::string& pcm, WaveDirection direction, WaveCaps& caps);

// 0 when the PCM takes the format, kWaveErrBadFormat when it does not, ALSA's error code when it
// cannot be opened.
int alsaQuery(const std::string& pcm, WaveDirection direction, const WaveFormatEx& format);

std::unique_ptr<WaveDevice> makeAlsaDevice(const std::string& pcm, WaveDirection direction, const WaveFormatEx& format,
                                           WaveCallback callback, void* instance);

std::string alsaErrorText(int code);

} // namespace qex::platform::wave
