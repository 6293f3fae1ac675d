#pragma once
// Preset files: PRESETS/QEX$n.dat beside the host executable, n = 0..100, each a 10-byte
// version text, a 4-byte marker and a whole ParameterSet, 18 418 bytes in all.

#include "parameter_set.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace qex {

inline constexpr int kFirstPreset = 0;
inline constexpr int kLastPreset = 100;
inline constexpr int32_t PresetMagic = 0x00075AB3;
inline constexpr size_t kPresetHeadSize = 14;
inline constexpr size_t kPresetFileSize = kPresetHeadSize + sizeof(ParameterSet);
static_assert(kPresetFileSize == 18418);

std::filesystem::path PresetFilePath(const std::filesystem::path& hostFolder, int n);

enum class PresetRead {
    NotOpened,   // missing, unreadable or marked read-only
    WrongMarker, // opened, but too short to hold the marker or marked otherwise
    Valid,
};

// Reads a preset file into set as far as the file reaches: fields beyond its end keep what they
// held. The file is opened for reading and writing, so a read-only file counts as unopenable.
PresetRead ReadPresetFile(const std::filesystem::path& file, ParameterSet& set);

// Writes the set as a whole preset file, replacing any older one. False when it cannot be
// written (no folder, read-only file, full disk).
bool WritePresetFile(const std::filesystem::path& file, const ParameterSet& set);

} // namespace qex
