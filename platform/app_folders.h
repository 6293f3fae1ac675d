#pragma once
// Where the program, the processing module and the tools keep their files.
//
// A copy whose executable lies in a folder it may write (a build, a portable copy) keeps
// everything beside the executable. An installed copy, whose folder it may not write, keeps its
// settings in $XDG_CONFIG_HOME/lumavox-qex (default ~/.config/lumavox-qex) and its presets and
// security database in $XDG_DATA_HOME/lumavox-qex (default ~/.local/share/lumavox-qex).

#include <filesystem>

namespace qex::platform {

struct AppFolders {
    std::filesystem::path settings; // holds qex.ini
    std::filesystem::path data;     // holds PRESETS/ and the security database
    bool installed = false;         // the per-user folders, not the executable's folder
};

// The folders of a copy whose executable lies in executableFolder. The one place that decides.
AppFolders appFoldersFor(const std::filesystem::path& executableFolder);

// The folders of the running executable.
AppFolders appFolders();

// Creates the per-user folders of an installed copy (readable by their owner only) with the
// presets folder inside the data folder; a copy beside its executable creates nothing. Throws
// std::runtime_error naming the folder when one cannot be made.
void createAppFolders(const AppFolders& folders);

} // namespace qex::platform
