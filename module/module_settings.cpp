#include "module_settings.h"

#include "platform/profile.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <string>

namespace qex {

namespace {

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
    const std::string name = "Qex.ini";

    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string entry = it->path().filename().string();
        if (SameNameIgnoringCase(entry, name))
            return it->path();
    }
    std::string hostSpelling = name;
    std::transform(hostSpelling.begin(), hostSpelling.end(), hostSpelling.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return folder / hostSpelling;
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
