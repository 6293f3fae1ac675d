#include "output_format.h"

#include <sndfile.h>

#include <algorithm>
#include <array>
#include <cctype>

namespace {

struct Entry {
    const char* name;
    const char* otherExtension;
    int format;
};

constexpr std::array<Entry, 5> kFormats{{
    {"wav", "wave", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
    {"flac", nullptr, SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
    {"ogg", "oga", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
    {"mp3", nullptr, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III},
    {"aiff", "aif", SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
}};

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

} // namespace

std::optional<TOutputFormat> outputFormatNamed(const std::string& name)
{
    const std::string wanted = lower(name);
    for (const Entry& entry : kFormats)
        if (wanted == entry.name || (entry.otherExtension && wanted == entry.otherExtension))
            return TOutputFormat{entry.name, entry.format};
    return std::nullopt;
}

std::optional<TOutputFormat> outputFormatFor(const std::filesystem::path& file)
{
    const std::string extension = file.extension().string();
    if (extension.size() < 2)
        return std::nullopt;
    return outputFormatNamed(extension.substr(1));
}

std::string outputFormatNames()
{
    std::string names;
    for (const Entry& entry : kFormats)
        names += (names.empty() ? "" : ", ") + std::string(entry.name);
    return names;
}
