#pragma once
// The file formats the renderer writes, chosen by name ("wav", "flac", ...) or by the output
// file's extension: 16-bit PCM where the format has samples of a width, else the codec's own.

#include <filesystem>
#include <optional>
#include <string>

struct TOutputFormat {
    std::string Name;
    int SndfileFormat; // major format and subtype, as libsndfile takes them
};

// The format of that name, or none.
std::optional<TOutputFormat> outputFormatNamed(const std::string& name);
// The format the file's extension names, or none.
std::optional<TOutputFormat> outputFormatFor(const std::filesystem::path& file);
// The names, for messages: "wav, flac, ogg, mp3, aiff".
std::string outputFormatNames();
