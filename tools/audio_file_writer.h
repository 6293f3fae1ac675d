#pragma once
// The tail of the renderer's chain: pulls from its Input as fast as it answers and writes an
// audio file with libsndfile. The samples go to a temporary file beside the target, which takes
// the target's name only when everything has been written, so a failed or interrupted render
// never leaves a partial file in place of an existing one. A target that is a symbolic link is
// followed: its file is replaced and the link stays. A target that is no regular file (a device,
// a named pipe) is written directly, never replaced.

#include "dsp_component.h"
#include "output_format.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <sndfile.h>

class TMMAudioFileWriter : public TMMDSPComponent {
public:
    // Called after each buffer with its interleaved 16-bit frames.
    using TWritten = std::function<void(const std::int16_t* frames, std::size_t count)>;

    // Throws std::runtime_error when the temporary file cannot be made.
    TMMAudioFileWriter(std::filesystem::path target, TOutputFormat format);
    // Removes the temporary file unless Commit() succeeded.
    ~TMMAudioFileWriter() override;

    bool HasOutputSide() const override { return false; }

    // Pulls buffers of the buffer size until the source ends. Throws std::runtime_error when
    // the file cannot be written.
    void Render(const TWritten& written);
    // Completes the file and gives it its name.
    void Commit();

    std::uint64_t FramesWritten() const { return frames_; }

private:
    std::filesystem::path target_;
    std::filesystem::path temporary_; // none when the target is written directly
    TOutputFormat format_;
    int descriptor_ = -1;
    SNDFILE* file_ = nullptr;
    std::uint64_t frames_ = 0;
    bool committed_ = false;
};
