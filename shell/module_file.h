#pragma once
// The processing module file. The executable carries the module inside itself and writes it
// into the system folder at the first start; an existing file is never examined or replaced.

#include <filesystem>
#include <span>

std::filesystem::path moduleFilePath();

// The module's file image as built into this executable.
std::span<const unsigned char> embeddedModuleImage();

// Writes the embedded module to moduleFilePath() unless a file is there. Throws
// std::runtime_error with the reason when the file cannot be created or written.
void writeModuleFileIfMissing();
