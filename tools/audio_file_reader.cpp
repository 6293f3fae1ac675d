#include "audio_file_reader.h"

#include "loudness.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <unistd.h>

namespace {

constexpr sf_count_t kChunkFrames = 4096;

// The library reads a file whose header promises more audio than it holds; such a file was
// cut short (a copy or a recording that did not finish) and is not processed.
bool promisesMoreThanItHolds(SNDFILE* file)
{
    std::string log(8192, '\0');
    sf_command(file, SFC_GET_LOG_INFO, log.data(), static_cast<int>(log.size()));
    std::istringstream lines(log.c_str());
    for (std::string line; std::getline(lines, line);) {
        unsigned long long claimed = 0, real = 0;
        if (std::sscanf(line.c_str(), "data : %llu (should be %llu)", &claimed, &real) == 2 && claimed > real)
            return true;
    }
    return false;
}

bool exactlyWidened(int subtype)
{
    return subtype == SF_FORMAT_PCM_16 || subtype == SF_FORMAT_PCM_S8 || subtype == SF_FORMAT_PCM_U8;
}

std::string formatName(int format)
{
    SF_FORMAT_INFO info{};
    info.format = format;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) != 0 || !info.name)
        return "unknown";
    return info.name;
}

} // namespace

TMMAudioFileReader::TMMAudioFileReader(const std::string& path) : path_(path)
{
    if (::access(path.c_str(), R_OK) != 0)
        throw EAudioFileError(std::string("cannot be opened: ") + std::strerror(errno));
    file_.reset(sf_open(path.c_str(), SFM_READ, &info_));
    if (!file_)
        throw EAudioFileError(std::string("not an audio file that can be read (") + sf_strerror(nullptr) + ")");
    if (promisesMoreThanItHolds(file_.get()))
        throw EAudioFileError("truncated: the file holds less audio than its header says");
    if (info_.channels < 1 || info_.channels > 2)
        throw EAudioFileError(std::to_string(info_.channels) + " channels; only mono and stereo are processed");
    exact_ = info_.samplerate == kProcessingRate && exactlyWidened(info_.format & SF_FORMAT_SUBMASK);
    if (info_.samplerate != kProcessingRate)
        resampler_.emplace(info_.samplerate, kProcessingRate, info_.channels);
    const TWaveFormatEx format = pcmWaveFormat(16, info_.channels, kProcessingRate);
    SetWaveFormat(&format);
}

std::string TMMAudioFileReader::SourceDescription() const
{
    return formatName(info_.format & SF_FORMAT_TYPEMASK) + ", " + formatName(info_.format & SF_FORMAT_SUBMASK) + ", " +
        std::to_string(info_.samplerate) + " Hz, " + (info_.channels == 1 ? "mono" : "stereo");
}

bool TMMAudioFileReader::DecodeMore()
{
    if (ended_)
        return false;
    const auto channels = static_cast<std::size_t>(info_.channels);
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(pendingAt_));
    pendingAt_ = 0;
    const std::size_t had = pending_.size();
    sf_count_t got = 0;
    if (exact_) {
        pending_.resize(had + static_cast<std::size_t>(kChunkFrames) * channels);
        got = sf_readf_short(file_.get(), pending_.data() + had, kChunkFrames);
        pending_.resize(had + static_cast<std::size_t>(got) * channels);
        if (measurement_)
            measurement_->Add(pending_.data() + had, static_cast<std::size_t>(got));
    } else {
        floats_.resize(static_cast<std::size_t>(kChunkFrames) * channels);
        got = sf_readf_float(file_.get(), floats_.data(), kChunkFrames);
        floats_.resize(static_cast<std::size_t>(got) * channels);
        if (measurement_)
            measurement_->Add(floats_.data(), static_cast<std::size_t>(got));
        const std::vector<float>* reduced = &floats_;
        if (resampler_) {
            resampled_.clear();
            if (got > 0)
                resampler_->Process(floats_.data(), static_cast<std::size_t>(got), resampled_);
            else
                resampler_->Flush(resampled_);
            reduced = &resampled_;
        }
        pending_.resize(had + reduced->size());
        dither_.Reduce(reduced->data(), pending_.data() + had, reduced->size());
    }
    if (got < 0 || sf_error(file_.get()) != SF_ERR_NO_ERROR)
        throw EAudioFileError(path_ + ": cannot be read: " + sf_strerror(file_.get()));
    decoded_ += static_cast<std::uint64_t>(got);
    ended_ = got == 0;
    return pending_.size() > had || !ended_;
}

void TMMAudioFileReader::BufferLoad(TMMWaveHdr* lpWaveHdr, bool& moreBuffers)
{
    if (OnBufferLoad)
        OnBufferLoad(this, lpWaveHdr, moreBuffers);
    const std::size_t wanted = lpWaveHdr->BufferLength / sizeof(std::int16_t);
    while (pending_.size() - pendingAt_ < wanted && DecodeMore()) {}
    const std::size_t count = std::min(wanted, pending_.size() - pendingAt_);
    std::memcpy(lpWaveHdr->Data, pending_.data() + pendingAt_, count * sizeof(std::int16_t));
    pendingAt_ += count;
    lpWaveHdr->BytesRecorded = static_cast<std::uint32_t>(count * sizeof(std::int16_t));
    // The last buffer says that no more follow.
    while (pending_.size() == pendingAt_ && DecodeMore()) {}
    moreBuffers = pending_.size() > pendingAt_;
}
