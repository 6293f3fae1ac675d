#pragma once
// What a test plug-in library counts and how a test steers it. The library exports one
// instance as qex_test_plugin; a test reaches it by opening the same library file.

#include <atomic>
#include <cstdint>

struct TestPluginControl {
    int initCalls;
    int quitCalls;
    int configCalls;
    int processCalls;
    int initResult;      // what Init returns
    int returnNumerator; // ModifySamples returns frames * numerator / denominator
    int returnDenominator;
    int throwOnProcess;      // ModifySamples throws
    int throwOnQuit;         // Quit throws
    int leaveRoundingUpward; // ModifySamples leaves the rounding mode changed
    int lastFrames, lastBits, lastChannels, lastRate;
    std::uint32_t engineRate, engineChannels, engineFrames; // seen by the engine kind's Init
    // A hardware fault raised by the entry: 0 none, kNullWrite or kDivisionByZero.
    int faultOnProcess, faultOnInit, faultOnConfig, faultOnQuit;
};

inline constexpr int kNullWrite = 1;
inline constexpr int kDivisionByZero = 2;

// The calls counted while the module runs on an audio thread, read or counted whole.
inline int counted(int& counter)
{
    return std::atomic_ref<int>(counter).load();
}
inline void count(int& counter)
{
    std::atomic_ref<int>(counter).fetch_add(1);
}

// The test plug-ins' processing: every sample has its low byte inverted.
inline short testPluginProcess(short sample)
{
    return static_cast<short>(sample ^ 0x00FF);
}
