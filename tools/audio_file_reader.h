#pragma once
// The head of the renderer's chain: decodes an audio file with libsndfile and answers pulls with
// what the processing module takes, 16-bit PCM at 44 100 Hz, mono or stereo as the file is.
// A 16-bit file at 44 100 Hz passes unchanged; any other rate is resampled (libsoxr, high
// quality) and anything wider than 16 bits, floating point or lossy is reduced to 16 bits with
// TPDF dither. 8-bit samples widen exactly.

#include "dsp_component.h"
#include "resampler.h"
#include "tpdf_dither.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <sndfile.h>
#include <stdexcept>
#include <string>
#include <vector>

class TLoudness;

class EAudioFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TMMAudioFileReader : public TMMDSPComponent {
public:
    static constexpr int kProcessingRate = 44100;

    // Opens the file; throws EAudioFileError with the reason for a file it cannot take.
    explicit TMMAudioFileReader(const std::string& path);

    bool HasInputSide() const override { return false; }
    void BufferLoad(TMMWaveHdr* lpWaveHdr, bool& moreBuffers) override;

    // The file as it is: channels, rate and a description such as "FLAC, 24-bit, 48000 Hz, stereo".
    int SourceChannels() const { return info_.channels; }
    int SourceRate() const { return info_.samplerate; }
    std::string SourceDescription() const;
    // Whether the samples are resampled or dithered on their way to the module.
    bool Converts() const { return !exact_; }

    // Frames of the file decoded so far, and in all (for progress).
    std::uint64_t FramesDecoded() const { return decoded_; }
    std::uint64_t SourceFrames() const { return info_.frames > 0 ? static_cast<std::uint64_t>(info_.frames) : 0; }

    // Also measures every decoded frame, as the file holds it, before any conversion.
    void SetSourceMeasurement(TLoudness* loudness) { measurement_ = loudness; }

private:
    // Decodes the next part of the file into pending_; false once the file has ended and
    // nothing more came.
    bool DecodeMore();

    struct CloseFile {
        void operator()(SNDFILE* file) const { sf_close(file); }
    };

    std::string path_;
    SF_INFO info_{};
    std::unique_ptr<SNDFILE, CloseFile> file_;
    bool exact_ = true;
    std::optional<TResampler> resampler_;
    TTpdfDither dither_;
    TLoudness* measurement_ = nullptr;
    std::vector<std::int16_t> pending_;
    std::size_t pendingAt_ = 0;
    std::vector<float> floats_;
    std::vector<float> resampled_;
    std::uint64_t decoded_ = 0;
    bool ended_ = false;
};
