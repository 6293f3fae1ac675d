#pragma once
// Sample-rate conversion of interleaved float frames with libsoxr at its high quality.

#include <cstddef>
#include <vector>

struct soxr;

class TResampler {
public:
    // Throws std::runtime_error when the library refuses the rates.
    TResampler(double fromRate, double toRate, int channels);
    ~TResampler();
    TResampler(const TResampler&) = delete;
    TResampler& operator=(const TResampler&) = delete;

    // Appends to out what the frames give.
    void Process(const float* frames, std::size_t count, std::vector<float>& out);
    // At the end of the input: appends what the filter still holds.
    void Flush(std::vector<float>& out);

private:
    // One pass of the library; frames null flushes. Returns the frames it produced.
    std::size_t Run(const float* frames, std::size_t count, std::size_t& used, std::vector<float>& out);

    soxr* soxr_ = nullptr;
    int channels_;
    double ratio_;
};
