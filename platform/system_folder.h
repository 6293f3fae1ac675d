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

// The name of the program's own folder inside the user's XDG base folders.
constexpr const char* kUserFolderName = "lumavox-qex";

// An XDG base folder: the variable's value when set and not empty, else the default under the
// home folder ("XDG_DATA_HOME", ".local/share", say).
std::filesystem::path xdgBaseFolder(const char* variable, const char* defaultUnderHome);

// Full path of the running executable.
std::filesystem::path executablePath();

} // namespace qex::platform
