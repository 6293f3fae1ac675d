#include "render_report.h"

#include <cstdio>
#include <cstdlib>

namespace {

std::string jsonNumber(std::optional<double> value)
{
    if (!value)
        return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", *value);
    return text;
}

std::string jsonFigures(const TLoudnessFigures& figures)
{
    return "{\"integrated_lufs\": " + jsonNumber(figures.IntegratedLufs) +
        ", \"range_lu\": " + jsonNumber(figures.RangeLu) + ", \"true_peak_dbtp\": " + jsonNumber(figures.TruePeakDbtp) +
        "}";
}

std::string row(const char* name, std::optional<double> input, std::optional<double> output)
{
    char text[128];
    std::snprintf(text, sizeof text, "%-22s%10s%10s\n", name, loudnessText(input).c_str(),
                  loudnessText(output).c_str());
    return text;
}

} // namespace

TRenderReport::TRenderReport(int inputChannels, long inputRate, int outputChannels, long outputRate)
    : input_(inputChannels, inputRate, TLoudnessMode::Programme),
      output_(outputChannels, outputRate, TLoudnessMode::Programme)
{
}

void TRenderReport::AddOutput(const std::int16_t* frames, std::size_t count)
{
    output_.Add(frames, count);
    const std::size_t samples = count * static_cast<std::size_t>(output_.Channels());
    for (std::size_t i = 0; i < samples; ++i)
        if (std::abs(static_cast<int>(frames[i])) >= kClipLevel)
            ++clipped_;
    samples_ += samples;
}

double TRenderReport::ClippedShare() const
{
    return samples_ == 0 ? 0.0 : static_cast<double>(clipped_) / static_cast<double>(samples_);
}

TLoudnessFigures TRenderReport::figuresOf(TLoudness& loudness)
{
    return {loudness.Integrated(), loudness.Range(), loudness.TruePeak()};
}

std::string TRenderReport::Table()
{
    const TLoudnessFigures in = InputFigures();
    const TLoudnessFigures out = OutputFigures();
    char clipped[128];
    std::snprintf(clipped, sizeof clipped, "%-22s%10s%9.3f%%\n", "At clip level", "", 100.0 * ClippedShare());
    return std::string("                           input    output\n") +
        row("Integrated (LUFS)", in.IntegratedLufs, out.IntegratedLufs) +
        row("Loudness range (LU)", in.RangeLu, out.RangeLu) +
        row("True peak (dBTP)", in.TruePeakDbtp, out.TruePeakDbtp) + clipped;
}

std::string TRenderReport::Json()
{
    char share[32];
    std::snprintf(share, sizeof share, "%.6f", ClippedShare());
    return "{\"input\": " + jsonFigures(InputFigures()) + ", \"output\": " + jsonFigures(OutputFigures()) +
        ", \"clipped_share\": " + share + "}";
}
