#pragma once
// Preset files: PRESETS/QEX$n.dat in the host's data folder, n = 0..100, each a 10-byte
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

std::filesystem::path PresetFilePath(const std::filesystem::path& dataFolder, int n);

enum class PresetRead {
    Missing,     // no such file
    NotOpened,   // there, but unreadable or marked read-only
    WrongMarker, // opened, but too short to hold the marker or marked otherwise
    Valid,
};

// Reads a preset file into set as far as the file reaches: fields beyond its end keep what they
// held. The file is opened for reading and writing, so a read-only file counts as unopenable.
PresetRead ReadPresetFile(const std::filesystem::path& file, ParameterSet& set);

// True for a file without write permission for its owner (also for root): the operator's way
// of protecting a preset, which is then neither written nor moved.
bool MarkedReadOnly(const std::filesystem::path& file);

// Writes the set as a whole preset file, replacing any older one only once the new one is
// complete on disk: a crash or a full disk during the write leaves the old file as it was.
// False when it cannot be written (no folder, read-only file, full disk).
bool WritePresetFile(const std::filesystem::path& file, const ParameterSet& set);

// Renames a damaged preset file to "<name>.damaged" (or "<name>.damaged.2" and so on, never
// replacing an earlier one), so that a slot can be rebuilt without losing what it held.
bool SetDamagedPresetAside(const std::filesystem::path& file);

} // namespace qex
