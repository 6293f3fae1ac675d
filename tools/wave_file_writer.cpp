#include "wave_file_writer.h"

#include "wav_file.h"

#include <algorithm>
#include <cstdlib>
#include <sys/stat.h>
#include <stdexcept>
#include <unistd.h>
#include <vector>

namespace {

std::runtime_error writeError(const std::filesystem::path& file)
{
    return std::runtime_error("cannot write " + file.string());
}

} // namespace

TMMWaveFileWriter::TMMWaveFileWriter(std::filesystem::path target) : target_(std::move(target))
{
    const std::filesystem::path folder = target_.has_parent_path() ? target_.parent_path() : ".";
    std::string name = (folder / ("." + target_.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(name.data());
    if (fd < 0)
        throw writeError(target_);
    ::close(fd);
    temporary_ = name;
    file_.open(temporary_, std::ios::binary | std::ios::trunc);
    if (!file_)
        throw writeError(temporary_);
}

TMMWaveFileWriter::~TMMWaveFileWriter()
{
    if (!committed_) {
        file_.close();
        std::error_code ignored;
        std::filesystem::remove(temporary_, ignored);
    }
}

void TMMWaveFileWriter::Render(const std::function<void()>& progress)
{
    const TWaveFormatEx* format = WaveFormat();
    if (!format)
        throw std::runtime_error("no audio format");
    // The header is written again with the real size at the end.
    writeWavHeader(file_, *format, 0);
    const int size = GetBufferSize();
    std::vector<char> block(static_cast<std::size_t>(size) + kWaveHdrSize);
    TMMWaveHdr* header = engineBufferHeader(block.data());
    for (;;) {
        header->BufferLength = static_cast<std::uint32_t>(size);
        header->BytesRecorded = 0;
        bool more = true;
        TMMDSPComponent::BufferLoad(header, more);
        const std::uint32_t count = std::min<std::uint32_t>(header->BytesRecorded, static_cast<std::uint32_t>(size));
        file_.write(header->Data, count);
        if (!file_)
            throw writeError(target_);
        written_ += count;
        if (progress)
            progress();
        if (!more || count == 0)
            break;
    }
}

void TMMWaveFileWriter::Commit()
{
    if (written_ > 0xFFFFFFFFull - 36)
        throw std::runtime_error(target_.string() + ": too long for a WAV file");
    file_.seekp(0);
    writeWavHeader(file_, *WaveFormat(), static_cast<std::uint32_t>(written_));
    file_.close();
    if (!file_)
        throw writeError(target_);
    // The temporary file was made private; the result gets the usual permissions.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    std::error_code error;
    std::filesystem::permissions(temporary_, static_cast<std::filesystem::perms>(0666 & ~mask), error);
    std::filesystem::rename(temporary_, target_, error);
    if (error)
        throw std::runtime_error("cannot replace " + target_.string() + ": " + error.message());
    committed_ = true;
}
