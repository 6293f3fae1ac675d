#pragma once
// Private-profile settings files: INI text with [Section] headers and key=value lines.
//
// Every call opens the file, does one read or one write and closes it again, the way the
// program's settings have always been kept. Section and key names compare without regard to
// letter case; the order of sections, keys, comments and blank lines is preserved. A write
// replaces the whole file atomically (temporary file in the same folder, then rename), so a
// crash or a full disk can never leave a truncated settings file behind. Files are created and
// rewritten readable and writable by their owner only.

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qex::platform {

// The settings file of that name in a folder. Names of settings files compare without regard to
// letter case, as they always have where the program comes from: the exact spelling where it
// exists, else a file of another spelling (one carried over from elsewhere), else the exact
// spelling for a new file. Every reader and writer of a settings file finds the same one.
std::filesystem::path profileFileIn(const std::filesystem::path& folder, std::string_view name);

// The value of key in section, or nothing when the file, the section or the key is missing (or
// the file cannot be read).
std::optional<std::string> readProfileString(const std::filesystem::path& file, std::string_view section,
                                             std::string_view key);

// Sets key in section to value, creating the file, the section or the key as needed.
// Returns false when the file could not be read or replaced; the old file is then left as it was.
bool writeProfileString(const std::filesystem::path& file, std::string_view section, std::string_view key,
                        std::string_view value);

// A whole decimal integer (optional sign, surrounding blanks allowed), or nothing.
std::optional<long long> parseProfileInteger(std::string_view text);

// Raised by IniFile when a write fails; the text is "Unable to write to <path>".
class EIniFileException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Typed access to one settings file, with the reading defaults of the program's settings:
// a missing key or a value that is not an integer reads as the default given by the caller.
class IniFile {
public:
    explicit IniFile(std::filesystem::path file);

    const std::filesystem::path& fileName() const { return file_; }
    bool exists() const;

    std::string readString(std::string_view section, std::string_view key, std::string_view defaultValue) const;
    long long readInteger(std::string_view section, std::string_view key, long long defaultValue) const;
    bool readBool(std::string_view section, std::string_view key, bool defaultValue) const;

    void writeString(std::string_view section, std::string_view key, std::string_view value);
    void writeInteger(std::string_view section, std::string_view key, long long value);
    void writeBool(std::string_view section, std::string_view key, bool value);

private:
    std::filesystem::path file_;
};

} // namespace qex::platform
