#pragma once
// The folder that holds the processing module file, shared by every copy of the program a user
// runs: $QEX_SYSTEM_DIR when set, else $XDG_DATA_HOME/lumavox-qex/lib (XDG_DATA_HOME defaulting
// to ~/.local/share). No trailing separator.

#include <filesystem>

namespace qex::platform {

std::filesystem::path systemFolder();

// Folder of the running executable, with no trailing separator.
std::filesystem::path executableFolder();

// The user's home folder: $HOME, else the account's.
std::filesystem::path homeFolder();

// Full path of the running executable.
std::filesystem::path executablePath();

} // namespace qex::platform
