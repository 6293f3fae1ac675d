#include "file_replace.h"

#include <cerrno>
#include <chrono>
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

// A temporary file this old is no write in progress: writes take milliseconds.
constexpr auto kAbandoned = std::chrono::minutes(1);

// Temporary files of earlier writes of this file that never finished: "." + name + six
// characters.
void clearAbandoned(const std::filesystem::path& folder, const std::string& name)
{
    const std::string prefix = "." + name + ".";
    const auto now = std::filesystem::file_time_type::clock::now();
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string entry = it->path().filename().string();
        if (entry.size() != prefix.size() + 6 || !entry.starts_with(prefix) || !it->is_regular_file(error))
            continue;
        if (now - it->last_write_time(error) > kAbandoned)
            std::filesystem::remove(it->path(), error);
    }
}

} // namespace

std::filesystem::path followLinks(std::filesystem::path file)
{
    constexpr int kMostLinks = 40;
    std::error_code error;
    for (int hop = 0; hop < kMostLinks && std::filesystem::is_symlink(file, error); ++hop) {
        const std::filesystem::path next = std::filesystem::read_symlink(file, error);
        if (error)
            break;
        file = next.is_absolute() ? next : file.parent_path() / next;
    }
    return file;
}

bool replaceFileContents(const std::filesystem::path& link, std::string_view bytes, FileAccess access)
{
    const std::filesystem::path file = followLinks(link);
    const auto folder = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    clearAbandoned(folder, file.filename().string());
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
