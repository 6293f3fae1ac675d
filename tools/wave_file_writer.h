#pragma once
// The tail of the renderer's chain: pulls from its Input as fast as it answers and writes a
// WAV file. The samples go to a temporary file beside the target, which takes the target's
// name only when everything has been written, so a failed render never leaves a partial file
// in place of an existing one.

#include "dsp_component.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>

class TMMWaveFileWriter : public TMMDSPComponent {
public:
    explicit TMMWaveFileWriter(std::filesystem::path target);
    // Removes the temporary file unless Commit() succeeded.
    ~TMMWaveFileWriter() override;

    bool HasOutputSide() const override { return false; }

    // Pulls buffers of the buffer size until the source ends; progress() is called after each.
    // Throws std::runtime_error when the file cannot be written.
    void Render(const std::function<void()>& progress);
    // Completes the header and gives the file its name.
    void Commit();

    std::uint64_t BytesWritten() const { return written_; }

private:
    std::filesystem::path target_;
    std::filesystem::path temporary_;
    std::ofstream file_;
    std::uint64_t written_ = 0;
    bool committed_ = false;
};
