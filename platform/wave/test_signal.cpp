#include "test_signal.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace qex::platform::wave {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// White noise in -1..1 from the frame index alone.
double hashNoise(std::uint64_t n)
{
    std::uint64_t x = n * 0x9E3779B97F4A7C15ull;
    x ^= x >> 31;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 27;
    return static_cast<double>(x >> 11) / static_cast<double>(1ull << 52) - 1.0;
}

// Chord partials in millihertz (A2, C#3, E3) and the voice's pitch.
constexpr std::uint64_t kChord[] = {110000, 138591, 164814};
constexpr std::uint64_t kVoicePitch = 185000;

} // namespace

ProgramSignal::ProgramSignal(std::uint32_t sampleRate) : rate_(sampleRate == 0 ? 44100 : sampleRate) {}

// sin(2 pi f n / rate) with the phase reduced exactly in integers, so long runs stay precise.
double ProgramSignal::tone(std::uint64_t n, std::uint64_t milliHertz) const
{
    const std::uint64_t period = static_cast<std::uint64_t>(rate_) * 1000;
    const std::uint64_t phase = ((n % period) * milliHertz) % period;
    return std::sin(kTwoPi * static_cast<double>(phase) / static_cast<double>(period));
}

void ProgramSignal::frame(std::uint64_t n, double& left, double& right) const
{
    const double phrase = 0.6 + 0.4 * tone(n, 125);    // 8 s swell
    const double syllable = 0.5 + 0.5 * tone(n, 3300); // syllable rate
    const double burst = syllable * syllable * syllable;

    double chordLeft = 0.0, chordRight = 0.0;
    for (std::size_t i = 0; i < std::size(kChord); ++i) {
        for (std::uint64_t h = 1; h <= 4; ++h) {
            const double partial = tone(n, kChord[i] * h) / static_cast<double>(h);
            // The chord's notes sit at different places in the stereo image.
            chordLeft += partial * (1.0 - 0.3 * static_cast<double>(i));
            chordRight += partial * (0.4 + 0.3 * static_cast<double>(i));
        }
    }

    // Harmonics of the voice weighted by two formants (about 700 Hz and 1.2 kHz).
    double voice = 0.0;
    for (std::uint64_t h = 1; h <= 8; ++h) {
        const double f = static_cast<double>(kVoicePitch * h) / 1000.0;
        const double weight =
            std::exp(-std::pow((f - 700.0) / 250.0, 2)) + 0.6 * std::exp(-std::pow((f - 1200.0) / 300.0, 2));
        voice += weight * tone(n, kVoicePitch * h);
    }

    const double hiss = 0.015 * hashNoise(n);
    left = std::clamp(phrase * (0.12 * chordLeft + 0.35 * burst * voice) + hiss, -1.0, 1.0);
    right = std::clamp(phrase * (0.12 * chordRight + 0.30 * burst * voice) - hiss, -1.0, 1.0);
}

void ProgramSignal::render(std::uint64_t first, std::uint32_t count, const WaveFormatEx& format, char* out) const
{
    const int channels = std::max<int>(format.Channels, 1);
    const bool sixteen = format.BitsPerSample == 16;
    for (std::uint32_t i = 0; i < count; ++i) {
        double left = 0.0, right = 0.0;
        frame(first + i, left, right);
        for (int c = 0; c < channels; ++c) {
            const double x = channels == 1 ? 0.5 * (left + right) : (c % 2 == 0 ? left : right);
            if (sixteen) {
                const auto s = static_cast<std::int16_t>(std::lround(x * 32767.0));
                out[0] = static_cast<char>(s & 0xFF);
                out[1] = static_cast<char>((s >> 8) & 0xFF);
                out += 2;
            } else {
                *out++ = static_cast<char>(static_cast<std::uint8_t>(128 + std::lround(x * 127.0)));
            }
        }
    }
}

} // namespace qex::platform::wave
