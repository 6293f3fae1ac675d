#include "wave_file_reader.h"

#include <algorithm>

TMMWaveFileReader::TMMWaveFileReader(const std::string& path) : file_(path, std::ios::binary)
{
    if (!file_)
        throw EWavFileError("cannot be opened");
    info_ = readWavHeader(file_);
    file_.seekg(static_cast<std::streamoff>(info_.DataOffset));
    SetWaveFormat(&info_.Format);
}

void TMMWaveFileReader::BufferLoad(TMMWaveHdr* lpWaveHdr, bool& moreBuffers)
{
    if (OnBufferLoad)
        OnBufferLoad(this, lpWaveHdr, moreBuffers);
    const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(lpWaveHdr->BufferLength, info_.DataBytes - read_));
    file_.read(lpWaveHdr->Data, count);
    const auto got = static_cast<std::uint32_t>(file_.gcount());
    read_ += got;
    lpWaveHdr->BytesRecorded = got;
    moreBuffers = got == count && read_ < info_.DataBytes;
}
