#pragma once
// The wave-audio service: sound-card input and output devices behind one set of calls.
//
// Devices are numbered per direction: -1 is ALSA's "default" PCM, 0..n-1 the PCMs that ALSA's
// device hints list for that direction, followed by the virtual devices (a test-signal input
// and a silent output, paced by a clock), so that the program runs on a machine with no sound
// card and the engine can be tested deterministically.
//
// An open device keeps an ordered queue of buffers. It fills (input) or plays (output) them in
// that order and hands each one back with a Done notification, from its own thread. Opened and
// Closed notifications arrive on the caller's thread inside waveOpen and waveClose. A reset
// hands back every queued buffer before it returns.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace qex::platform::wave {

class WaveClock;

enum class WaveDirection { Input, Output };

// The format record the devices take, laid out like a WAV file's format header.
#pragma pack(push, 1)
struct WaveFormatEx {
    std::uint16_t FormatTag;
    std::uint16_t Channels;
    std::uint32_t SamplesPerSec;
    std::uint32_t AvgBytesPerSec;
    std::uint16_t BlockAlign;
    std::uint16_t BitsPerSample;
    std::uint16_t ExtraSize;
};
#pragma pack(pop)
static_assert(sizeof(WaveFormatEx) == 18);

// The buffer header a device works on. Data and BufferLength are the caller's; an input device
// sets BytesRecorded; Next and Reserved belong to the device while the buffer is queued.
struct WaveHdr {
    char* Data;
    std::uint32_t BufferLength;
    std::uint32_t BytesRecorded;
    std::uint32_t User;
    std::uint32_t Flags;
    std::uint32_t Loops;
    WaveHdr* Next;
    std::uint32_t Reserved;
};

constexpr std::uint32_t kHeaderDone = 0x01;
constexpr std::uint32_t kHeaderPrepared = 0x02;
constexpr std::uint32_t kHeaderInQueue = 0x10;

// Standard-format bits of the capabilities: rate (11025, 22050, 44100 Hz) x mono/stereo x 8/16 bit.
constexpr std::uint32_t kFormat1M08 = 0x001, kFormat1S08 = 0x002, kFormat1M16 = 0x004, kFormat1S16 = 0x008;
constexpr std::uint32_t kFormat2M08 = 0x010, kFormat2S08 = 0x020, kFormat2M16 = 0x040, kFormat2S16 = 0x080;
constexpr std::uint32_t kFormat4M08 = 0x100, kFormat4S08 = 0x200, kFormat4M16 = 0x400, kFormat4S16 = 0x800;
constexpr std::uint32_t kAllStandardFormats = 0xFFF;

// The standard-format bit for a combination: rateGroup 0 = 11 kHz, 1 = 22 kHz, 2 = 44 kHz.
constexpr std::uint32_t standardFormatBit(int rateGroup, int channels, int bits)
{
    return 1u << (rateGroup * 4 + (bits == 16 ? 2 : 0) + (channels == 2 ? 1 : 0));
}

struct WaveCaps {
    std::string ProductName;
    std::uint32_t DriverVersion = 0;
    std::uint32_t Formats = 0; // standard-format bits
    std::uint16_t Channels = 0;
};

enum class WaveMessage { Opened, Closed, Done };

class WaveDevice;
using WaveHandle = WaveDevice*;

// A device's notification routine. Done carries the buffer handed back; the others no buffer.
using WaveCallback = void (*)(WaveHandle device, WaveMessage message, void* instance, WaveHdr* header);

// Results: 0 success, positive the service's own errors, negative ALSA's error codes.
constexpr int kWaveNoError = 0;
constexpr int kWaveErrUnspecified = 1;
constexpr int kWaveErrBadDeviceId = 2;
constexpr int kWaveErrInvalidHandle = 5;
constexpr int kWaveErrNoMemory = 7;
constexpr int kWaveErrInvalidParam = 11;
constexpr int kWaveErrBadFormat = 32;
constexpr int kWaveErrStillPlaying = 33;
constexpr int kWaveErrUnprepared = 34;

// Number of devices of a direction. The list is built once per process; virtual devices follow
// the ALSA ones.
int waveGetNumDevs(WaveDirection direction);

// How much waveGetDevCaps finds out. Listed: the name and driver version, from the device list,
// without opening the device. Probed: also the standard-format bits and the channel count, which
// means opening the device and trying formats (a device that cannot be opened right now, busy
// elsewhere say, reports none).
enum class WaveCapsDetail { Listed, Probed };
int waveGetDevCaps(WaveDirection direction, int deviceId, WaveCaps& caps, WaveCapsDetail detail);

// The identifier of the first device of a direction listed under that name, or kWaveNoDevice.
constexpr int kWaveNoDevice = -2;
int waveFindDevice(WaveDirection direction, const std::string& name);

// With query set, only tells whether the device can take the format (kWaveErrBadFormat when it
// cannot; a device that cannot be opened at all answers with its own error); nothing stays open
// and no notification is sent.
int waveOpen(WaveDirection direction, WaveHandle* handle, int deviceId, const WaveFormatEx* format,
             WaveCallback callback, void* instance, bool query = false);
int wavePrepareHeader(WaveHandle device, WaveHdr* header);
int waveUnprepareHeader(WaveHandle device, WaveHdr* header);
// Queues a buffer: to be filled by an input, to be played (BufferLength bytes) by an output.
int waveAddBuffer(WaveHandle device, WaveHdr* header);
// Input: begin recording. Output: resume playing after waveStop.
int waveStart(WaveHandle device);
// Input: stop recording; the buffer being filled comes back if it holds data, the empty ones
// stay queued. Output: pause playing; every buffer stays queued.
int waveStop(WaveHandle device);
// Stops and hands back every queued buffer; the position starts again from 0.
int waveReset(WaveHandle device);
// Samples recorded or played since the device was opened or reset, modulo 2^32.
int waveGetPosition(WaveHandle device, std::uint32_t& samples);
// Underruns (output) or overruns (input) recovered since the device was opened.
int waveGetXruns(WaveHandle device, std::uint32_t& count);
// What the device holds right now: buffers queued, and frames its sound API buffers on top of
// them (an ALSA device's own buffer; 0 for the virtual devices). Safe from any thread.
struct WaveQueueState {
    std::uint32_t queuedBuffers = 0;
    std::uint32_t deviceBufferFrames = 0;
};
int waveGetQueueState(WaveHandle device, WaveQueueState& state);
// Refused with kWaveErrStillPlaying while buffers are queued.
int waveClose(WaveHandle device);
// The text for a result code; non-zero when the code is unknown.
int waveGetErrorText(int code, std::string& text);

// The virtual devices' clock. Devices opened after the call use it; the default is the system
// clock (real time). Tests install a ManualWaveClock.
void setVirtualClock(std::shared_ptr<WaveClock> clock);

// A further virtual device, appended to the list of its direction; returns its identifier.
// Used for devices whose capabilities differ from the standard ones.
struct VirtualDeviceInfo {
    std::string name;
    std::uint32_t formats = kAllStandardFormats;
};
int addVirtualDevice(WaveDirection direction, const VirtualDeviceInfo& info);

// Makes a virtual device fail as a sound card that is gone does, with `code` (an ALSA error
// code such as -ENODEV): at the next step of its clock an open device hands back every queued
// buffer and refuses the next one with the code, and opening the device fails with it. 0 brings
// the device back for the devices opened from then on.
int setVirtualDeviceFailure(WaveDirection direction, int deviceId, int code);

// Names of the built-in virtual devices.
inline constexpr const char* kTestSignalInputName = "Test signal (virtual)";
inline constexpr const char* kSilentOutputName = "Silent output (virtual)";

} // namespace qex::platform::wave
