#pragma once
// The head of the renderer's chain: answers pulls with the samples of a WAV file, and says
// that no more buffers follow with the last of them.

#include "dsp_component.h"
#include "wav_file.h"

#include <cstdint>
#include <fstream>
#include <string>

class TMMWaveFileReader : public TMMDSPComponent {
public:
    // Opens the file and reads its header; throws EWavFileError for anything but 16-bit PCM.
    explicit TMMWaveFileReader(const std::string& path);

    bool HasInputSide() const override { return false; }
    void BufferLoad(TMMWaveHdr* lpWaveHdr, bool& moreBuffers) override;

    std::uint64_t TotalBytes() const { return info_.DataBytes; }
    std::uint64_t BytesRead() const { return read_; }

private:
    std::ifstream file_;
    TWavFileInfo info_;
    std::uint64_t read_ = 0;
};
