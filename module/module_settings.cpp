#include "module_settings.h"

#include "platform/app_folders.h"
#include "platform/profile.h"

#include <climits>
#include <string>

namespace qex {

std::filesystem::path ModuleSettingsPath(const std::filesystem::path& hostExecutable)
{
    return platform::profileFileIn(platform::appFoldersFor(hostExecutable.parent_path()).settings, "qex.ini");
}

std::filesystem::path ModuleDataFolder(const std::filesystem::path& hostExecutable)
{
    return platform::appFoldersFor(hostExecutable.parent_path()).data;
}

int ReadModuleSetting(const std::filesystem::path& file, std::string_view key, int defaultValue)
{
    const long long value = platform::IniFile(file).readInteger(kSettingsSection, key, defaultValue);
    return value < INT_MIN || value > INT_MAX ? defaultValue : static_cast<int>(value);
}

void WriteModuleSetting(const std::filesystem::path& file, std::string_view key, int value)
{
    platform::writeProfileString(file, kSettingsSection, key, std::to_string(value));
}

} // namespace qex
