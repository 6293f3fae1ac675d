#include "app_folders.h"

#include "system_folder.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace qex::platform {

namespace {

void makeOwnerOnlyFolder(const std::filesystem::path& folder)
{
    std::error_code ec;
    if (std::filesystem::is_directory(folder, ec))
        return;
    std::filesystem::create_directories(folder.parent_path(), ec);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        throw std::runtime_error("Cannot create folder \"" + folder.string() + "\". " + std::strerror(errno));
}

} // namespace

AppFolders appFoldersFor(const std::filesystem::path& executableFolder)
{
    if (::access(executableFolder.c_str(), W_OK) == 0)
        return {executableFolder, executableFolder, false};
    return {xdgBaseFolder("XDG_CONFIG_HOME", ".config") / kUserFolderName,
            xdgBaseFolder("XDG_DATA_HOME", ".local/share") / kUserFolderName, true};
}

AppFolders appFolders()
{
    return appFoldersFor(executableFolder());
}

void createAppFolders(const AppFolders& folders)
{
    if (!folders.installed)
        return;
    makeOwnerOnlyFolder(folders.settings);
    makeOwnerOnlyFolder(folders.data);
    makeOwnerOnlyFolder(folders.data / "PRESETS");
}

} // namespace qex::platform
