#pragma once
// Signals and meters set up as the main window has them, shared by the metering tests.

#include "level.h"

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

// Interleaved 16-bit stereo frames.
using StereoFrames = std::vector<std::int16_t>;

inline StereoFrames silentFrames(int frames)
{
    return StereoFrames(static_cast<std::size_t>(frames) * 2, 0);
}

// A 1 kHz sine at 44.1 kHz of the given level in dB full scale, on one channel of a stereo
// stream starting at frame `from`.
inline StereoFrames sineFrames(int frames, double dbfs, int channel, int from = 0)
{
    StereoFrames out = silentFrames(frames);
    const double amplitude = 32767.0 * std::pow(10.0, dbfs / 20.0);
    for (int f = from; f < frames; ++f)
        out[static_cast<std::size_t>(f) * 2 + channel] =
            static_cast<std::int16_t>(std::lround(amplitude * std::sin(2.0 * std::numbers::pi * 1000.0 * f / 44100.0)));
    return out;
}

inline StereoFrames constantFrames(int frames, std::int16_t left, std::int16_t right)
{
    StereoFrames out;
    for (int f = 0; f < frames; ++f) {
        out.push_back(left);
        out.push_back(right);
    }
    return out;
}

inline int byteSize(const StereoFrames& frames)
{
    return static_cast<int>(frames.size() * sizeof(std::int16_t));
}

// The main window's meter settings: 147 x 9 pixels, 3-pixel spots, black inactive spots,
// 16-bit stereo, peak held for 10 (x 2 + 1 ticks), uniform decay.
inline void applyProgramSettings(TMMLevel& level, TMMChannel channel)
{
    level.SetSize(147, 9);
    level.SetSpotWidth(3);
    level.SetInactive1Color(mmRgb(0, 0, 0));
    level.SetInactive2Color(mmRgb(0, 0, 0));
    level.SetInactive3Color(mmRgb(0, 0, 0));
    level.SetBitLength(TMMBits::b16Bit);
    level.SetMode(TMMMode::mStereo);
    level.SetPeakDelay(10);
    level.SetDecayMode(TMMDecayMode::dmUniform);
    level.SetChannel(channel);
}

// The colour of a pixel of the meter's latest frame.
inline TMMColor framePixel(TMMLevel& level, int x, int y)
{
    level.AcquireFrame();
    const TMMImageView frame = level.Frame();
    return frame.pixels[static_cast<std::size_t>(y) * frame.width + x];
}

// Left edge of a spot (1-based) of a 147-pixel bar of 3-pixel spots one pixel apart.
constexpr int spotX(int spot)
{
    return (spot - 1) * 4;
}

constexpr TMMColor kBlack = mmRgb(0, 0, 0);
constexpr TMMColor kAqua = mmRgb(0, 255, 255);
constexpr TMMColor kRed = mmRgb(255, 0, 0);
