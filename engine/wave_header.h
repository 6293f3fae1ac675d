#pragma once
// The audio buffer record passed between neighbours as lpWaveHdr. Its first fields follow the
// sound device's buffer header so that the same record can be queued to a device; the engine's
// loop and playback words follow. In engine buffers the samples come right after the record.

#include <cstdint>

struct TMMWaveHdr {
    char* Data;                  // start of the sample bytes
    std::uint32_t BufferLength;  // capacity in bytes; in a pull, the bytes wanted
    std::uint32_t BytesRecorded; // valid bytes in the buffer
    std::uint32_t User;          // opaque word, carried unchanged by the ring buffer
    std::uint32_t DeviceFlags;   // WHDR_DONE, WHDR_PREPARED
    std::uint32_t Loops;         // device loop count, always 0
    TMMWaveHdr* Next;            // device-private
    std::uint32_t Reserved;      // device-private
    std::uint32_t Reserved2;     // 0
    std::uint32_t QueuedLength;  // BytesRecorded when the buffer was queued to the output device
    std::uint32_t Reserved3;     // 0
    TMMWaveHdr* NextPlaying;     // on a played buffer: the buffer that is audible now
    std::int32_t LoopFlag;       // -1 while the source loops, else 0
    std::int32_t LoopCount;      // loops requested
    std::int32_t LoopPosition;   // loops remaining
    std::int32_t EndMarker;      // -1 on the last block of a loop pass, else 0
};

constexpr std::uint32_t WHDR_DONE = 0x1;
constexpr std::uint32_t WHDR_PREPARED = 0x2;

// Bytes in front of the samples of an engine buffer.
constexpr int kWaveHdrSize = sizeof(TMMWaveHdr);

// Points Data at the bytes behind the header of an engine buffer.
inline TMMWaveHdr* engineBufferHeader(void* block)
{
    auto* header = static_cast<TMMWaveHdr*>(block);
    header->Data = static_cast<char*>(block) + kWaveHdrSize;
    return header;
}
