#include "system_folder.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace qex::platform {

std::filesystem::path homeFolder()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return "/tmp";
}

std::filesystem::path systemFolder()
{
    if (const char* dir = std::getenv("QEX_SYSTEM_DIR"); dir && *dir)
        return std::filesystem::path(dir).lexically_normal();
    return xdgBaseFolder("XDG_DATA_HOME", ".local/share") / kUserFolderName / "lib";
}

std::filesystem::path xdgBaseFolder(const char* variable, const char* defaultUnderHome)
{
    if (const char* value = std::getenv(variable); value && *value)
        return value;
    return homeFolder() / defaultUnderHome;
}

std::filesystem::path executablePath()
{
    std::error_code ec;
    auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : path;
}

std::filesystem::path executableFolder()
{
    return executablePath().parent_path();
}

} // namespace qex::platform
