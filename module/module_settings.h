#pragma once
// The module's section of the host's settings file.

#include <filesystem>
#include <string_view>

namespace qex {

inline constexpr std::string_view kSettingsSection = "OrvianAudioProcessor";

// The environment variable a host sets (to 1) before loading the module when the program's
// settings and presets are to be read but never written.
inline constexpr const char* kFilesReadOnlyVariable = "QEX_MODULE_FILES_READ_ONLY";

// "Qex.ini" in the host's settings folder, decided from the host executable's folder (not the
// module library's) as the host decides it (platform/app_folders.h). The host keeps its own
// settings in the same file under the name "qex.ini", found as the host finds it (the host's
// spelling where it exists, else a file of another spelling, else a new "qex.ini").
std::filesystem::path ModuleSettingsPath(const std::filesystem::path& hostExecutable);

// The host's data folder, which holds the PRESETS folder; decided the same way.
std::filesystem::path ModuleDataFolder(const std::filesystem::path& hostExecutable);

// Integer keys of the module's section. A missing or unreadable value reads as the default;
// a failed write is ignored, as the module reports no errors.
int ReadModuleSetting(const std::filesystem::path& file, std::string_view key, int defaultValue);
void WriteModuleSetting(const std::filesystem::path& file, std::string_view key, int value);

} // namespace qex
