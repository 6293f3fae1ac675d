#pragma once
// The module's section of the host's settings file.

#include <filesystem>
#include <string_view>

namespace qex {

inline constexpr std::string_view kSettingsSection = "OrvianAudioProcessor";

// The environment variable a host sets (to 1) before loading the module when the program's
// settings and presets are to be read but never written.
inline constexpr const char* kFilesReadOnlyVariable = "QEX_MODULE_FILES_READ_ONLY";

// "Qex.ini" beside the host executable (not beside the module library). The host keeps its own
// settings in the same file under the name "qex.ini", found as the host finds it (the host's
// spelling where it exists, else a file of another spelling, else a new "qex.ini").
std::filesystem::path ModuleSettingsPath(const std::filesystem::path& hostExecutable);

// Integer keys of the module's section. A missing or unreadable value reads as the default;
// a failed write is ignored, as the module reports no errors.
int ReadModuleSetting(const std::filesystem::path& file, std::string_view key, int defaultValue);
void WriteModuleSetting(const std::filesystem::path& file, std::string_view key, int value);

} // namespace qex
