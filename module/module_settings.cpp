#include "module_settings.h"

#include "platform/profile.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <string>

namespace qex {

namespace {

constexpr std::string_view kHostSettingsName = "qex.ini";

bool SameNameIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

} // namespace

std::filesystem::path ModuleSettingsPath(const std::filesystem::path& hostExecutable)
{
    const std::filesystem::path folder = hostExecutable.parent_path();
    // The host's own spelling comes first: where other spellings lie beside it, the host and
    // the module must still share one file.
    const std::filesystem::path hostFile = folder / kHostSettingsName;
    std::error_code ec;
    if (std::filesystem::exists(hostFile, ec))
        return hostFile;

    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (SameNameIgnoringCase(it->path().filename().string(), kHostSettingsName))
            return it->path();
    }
    return hostFile;
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
