#include "profile.h"

#include "file_replace.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <vector>

namespace qex::platform {

namespace {

std::string_view trim(std::string_view s)
{
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    const auto last = s.find_last_not_of(" \t\r");
    return s.substr(first, last - first + 1);
}

bool sameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

// The section name if the line is a "[Section]" header.
std::optional<std::string_view> sectionOf(std::string_view line)
{
    const auto t = trim(line);
    if (t.size() < 2 || t.front() != '[')
        return std::nullopt;
    const auto close = t.find(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    return trim(t.substr(1, close - 1));
}

struct KeyLine {
    std::string_view key;
    std::string_view value;
};

std::optional<KeyLine> keyOf(std::string_view line)
{
    const auto t = trim(line);
    if (t.empty() || t.front() == ';' || t.front() == '#')
        return std::nullopt;
    const auto eq = t.find('=');
    if (eq == std::string_view::npos)
        return std::nullopt;
    return KeyLine{trim(t.substr(0, eq)), trim(t.substr(eq + 1))};
}

// The file's lines: none for a file that does not exist, nothing at all for one that exists but
// cannot be read (so that a write never replaces a file it could not read).
std::optional<std::vector<std::string>> readLines(const std::filesystem::path& file)
{
    std::vector<std::string> lines;
    // Only a regular file is read: opening a named pipe or a device could wait for ever.
    std::error_code error;
    const auto type = std::filesystem::status(file, error).type();
    if (type == std::filesystem::file_type::not_found)
        return lines;
    if (type != std::filesystem::file_type::regular)
        return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
    }
    if (in.bad())
        return std::nullopt;
    return lines;
}

} // namespace

std::filesystem::path profileFileIn(const std::filesystem::path& folder, std::string_view name)
{
    const std::filesystem::path exact = folder / name;
    std::error_code ec;
    if (std::filesystem::exists(exact, ec))
        return exact;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (sameName(it->path().filename().string(), name))
            return it->path();
    }
    return exact;
}

std::optional<long long> parseProfileInteger(std::string_view text)
{
    auto t = trim(text);
    if (!t.empty() && t.front() == '+')
        t.remove_prefix(1);
    long long value = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
    if (ec != std::errc() || end != t.data() + t.size() || t.empty())
        return std::nullopt;
    return value;
}

std::optional<std::string> readProfileString(const std::filesystem::path& file, std::string_view section,
                                             std::string_view key)
{
    const auto lines = readLines(file);
    if (!lines)
        return std::nullopt;
    bool inSection = false;
    for (const auto& line : *lines) {
        if (const auto s = sectionOf(line)) {
            inSection = sameName(*s, section);
            continue;
        }
        if (!inSection)
            continue;
        if (const auto k = keyOf(line); k && sameName(k->key, key))
            return std::string(k->value);
    }
    return std::nullopt;
}

bool writeProfileString(const std::filesystem::path& file, std::string_view section, std::string_view key,
                        std::string_view value)
{
    auto read = readLines(file);
    if (!read)
        return false;
    auto& lines = *read;
    const std::string entry = std::string(key) + "=" + std::string(value);

    // Locate the section and, inside it, the key or the place after its last key line.
    std::optional<size_t> sectionLine;
    std::optional<size_t> keyLine;
    size_t insertAt = lines.size();
    for (size_t i = 0; i < lines.size(); ++i) {
        if (const auto s = sectionOf(lines[i])) {
            if (sectionLine)
                break;
            if (sameName(*s, section)) {
                sectionLine = i;
                insertAt = i + 1;
            }
            continue;
        }
        if (!sectionLine)
            continue;
        if (!trim(lines[i]).empty())
            insertAt = i + 1;
        if (const auto k = keyOf(lines[i]); k && sameName(k->key, key)) {
            keyLine = i;
            break;
        }
    }

    if (keyLine) {
        const auto k = keyOf(lines[*keyLine]);
        if (k->value == value)
            return true;
        lines[*keyLine] = std::string(k->key) + "=" + std::string(value);
    } else if (sectionLine) {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), entry);
    } else {
        if (!lines.empty() && !trim(lines.back()).empty())
            lines.emplace_back();
        lines.push_back("[" + std::string(section) + "]");
        lines.push_back(entry);
    }

    std::string text;
    for (const auto& line : lines)
        text += line + "\n";
    // Settings files hold the login used at start: they are for their owner's eyes only, whatever
    // the old file allowed others.
    return replaceFileContents(file, text, FileAccess::OwnerOnly);
}

IniFile::IniFile(std::filesystem::path file) : file_(std::move(file)) {}

bool IniFile::exists() const
{
    std::error_code ec;
    return std::filesystem::is_regular_file(file_, ec);
}

std::string IniFile::readString(std::string_view section, std::string_view key, std::string_view defaultValue) const
{
    return readProfileString(file_, section, key).value_or(std::string(defaultValue));
}

long long IniFile::readInteger(std::string_view section, std::string_view key, long long defaultValue) const
{
    const auto text = readProfileString(file_, section, key);
    if (!text)
        return defaultValue;
    return parseProfileInteger(*text).value_or(defaultValue);
}

bool IniFile::readBool(std::string_view section, std::string_view key, bool defaultValue) const
{
    return readInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void IniFile::writeString(std::string_view section, std::string_view key, std::string_view value)
{
    if (!writeProfileString(file_, section, key, value))
        throw EIniFileException("Unable to write to " + file_.string());
}

void IniFile::writeInteger(std::string_view section, std::string_view key, long long value)
{
    writeString(section, key, std::to_string(value));
}

void IniFile::writeBool(std::string_view section, std::string_view key, bool value)
{
    writeString(section, key, value ? "1" : "0");
}

} // namespace qex::platform
