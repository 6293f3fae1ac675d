#include "file_replace.h"

#include <cerrno>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace qex::platform {

namespace {

// The permissions of the file being replaced, or those a newly created file would get.
mode_t permissionsFor(const std::filesystem::path& file, FileAccess access)
{
    struct stat old {};
    const bool exists = ::stat(file.c_str(), &old) == 0;
    if (access == FileAccess::OwnerOnly)
        return exists ? old.st_mode & 0700 : 0600;
    if (exists)
        return old.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

} // namespace

bool replaceFileContents(const std::filesystem::path& file, std::string_view bytes, FileAccess access)
{
    const auto folder = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    std::string temporary = (folder / ("." + file.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        return false;

    bool ok = ::fchmod(fd, permissionsFor(file, access)) == 0;
    ok = ok && writeAll(fd, bytes);
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(temporary.c_str(), file.c_str()) == 0;
    if (!ok)
        ::unlink(temporary.c_str());
    return ok;
}

} // namespace qex::platform
