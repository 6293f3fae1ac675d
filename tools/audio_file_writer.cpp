#include "audio_file_writer.h"

#include "interrupt_cleanup.h"

#include "platform/file_replace.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::runtime_error writeError(const std::filesystem::path& file, const std::string& why)
{
    return std::runtime_error("cannot write " + file.string() + (why.empty() ? "" : ": " + why));
}

// RIFF and AIFF count their bytes in 32 bits.
bool tooLong(int format, std::uint64_t frames, std::uint64_t frameBytes)
{
    const int major = format & SF_FORMAT_TYPEMASK;
    return (major == SF_FORMAT_WAV || major == SF_FORMAT_AIFF) && frames * frameBytes > 0xFFFFFFFFull - 1024;
}

} // namespace

TMMAudioFileWriter::TMMAudioFileWriter(std::filesystem::path target, TOutputFormat format)
    : target_(qex::platform::followLinks(std::move(target))), format_(std::move(format))
{
    struct stat existing {};
    if (::stat(target_.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)) {
        descriptor_ = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC);
        if (descriptor_ < 0)
            throw writeError(target_, std::strerror(errno));
        return;
    }
    const std::filesystem::path folder = target_.has_parent_path() ? target_.parent_path() : ".";
    std::string name = (folder / ("." + target_.filename().string() + ".XXXXXX")).string();
    descriptor_ = ::mkstemp(name.data());
    if (descriptor_ < 0)
        throw writeError(target_, "");
    temporary_ = name;
    RemoveOnInterrupt(temporary_);
}

TMMAudioFileWriter::~TMMAudioFileWriter()
{
    if (committed_)
        return;
    if (file_)
        sf_close(file_);
    else if (descriptor_ >= 0)
        ::close(descriptor_);
    if (temporary_.empty())
        return;
    std::error_code ignored;
    std::filesystem::remove(temporary_, ignored);
    KeepOnInterrupt();
}

void TMMAudioFileWriter::Render(const TWritten& written)
{
    const TWaveFormatEx* format = WaveFormat();
    if (!format)
        throw std::runtime_error("no audio format");
    SF_INFO info{};
    info.samplerate = static_cast<int>(format->SamplesPerSec);
    info.channels = format->Channels;
    info.format = format_.SndfileFormat;
    if (!sf_format_check(&info))
        throw writeError(target_,
                         format_.Name + " files of " + std::to_string(info.channels) + " channels at " +
                             std::to_string(info.samplerate) + " Hz cannot be written by this system's libsndfile");
    // The library owns the descriptor from here on.
    file_ = sf_open_fd(descriptor_, SFM_WRITE, &info, SF_TRUE);
    if (!file_) {
        ::close(descriptor_);
        descriptor_ = -1;
        throw writeError(target_, sf_strerror(nullptr));
    }
    descriptor_ = -1;
    const int size = GetBufferSize();
    const auto frameSamples = static_cast<std::size_t>(info.channels);
    std::vector<char> block(static_cast<std::size_t>(size) + kWaveHdrSize);
    TMMWaveHdr* header = engineBufferHeader(block.data());
    std::vector<std::int16_t> samples(static_cast<std::size_t>(size) / sizeof(std::int16_t));
    for (;;) {
        header->BufferLength = static_cast<std::uint32_t>(size);
        header->BytesRecorded = 0;
        bool more = true;
        TMMDSPComponent::BufferLoad(header, more);
        const std::uint32_t bytes = std::min<std::uint32_t>(header->BytesRecorded, static_cast<std::uint32_t>(size));
        const std::size_t count = bytes / sizeof(std::int16_t) / frameSamples;
        if (tooLong(info.format, frames_ + count, format->BlockAlign))
            throw std::runtime_error(target_.string() + ": too long for a " + format_.Name + " file");
        std::copy_n(reinterpret_cast<const char*>(header->Data), count * frameSamples * sizeof(std::int16_t),
                    reinterpret_cast<char*>(samples.data()));
        if (sf_writef_short(file_, samples.data(), static_cast<sf_count_t>(count)) != static_cast<sf_count_t>(count))
            throw writeError(target_, sf_strerror(file_));
        frames_ += count;
        if (written)
            written(samples.data(), count);
        if (!more || count == 0)
            break;
    }
}

void TMMAudioFileWriter::Commit()
{
    if (!file_)
        throw std::runtime_error("nothing rendered");
    const int closed = sf_close(file_);
    file_ = nullptr;
    descriptor_ = -1;
    if (closed != 0)
        throw writeError(target_, sf_error_number(closed));
    if (temporary_.empty()) {
        committed_ = true;
        return;
    }
    // The temporary file was made private; the result gets the usual permissions.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    std::error_code error;
    std::filesystem::permissions(temporary_, static_cast<std::filesystem::perms>(0666 & ~mask), error);
    std::filesystem::rename(temporary_, target_, error);
    if (error)
        throw std::runtime_error("cannot replace " + target_.string() + ": " + error.message());
    committed_ = true;
    KeepOnInterrupt();
}
