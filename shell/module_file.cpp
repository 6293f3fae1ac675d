#include "module_file.h"

#include "platform/system_folder.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

extern "C" const unsigned char qex_module_image_begin[];
extern "C" const unsigned char qex_module_image_end[];

namespace {

constexpr const char* kModuleFileName = "qexdsp.so";

std::runtime_error createError(const std::filesystem::path& file, int error)
{
    return std::runtime_error("Cannot create file \"" + file.string() + "\". " + std::strerror(error));
}

} // namespace

std::filesystem::path moduleFilePath()
{
    return qex::platform::systemFolder() / kModuleFileName;
}

std::span<const unsigned char> embeddedModuleImage()
{
    return {qex_module_image_begin, static_cast<std::size_t>(qex_module_image_end - qex_module_image_begin)};
}

void writeModuleFileIfMissing()
{
    const auto file = moduleFilePath();
    std::error_code ec;
    if (std::filesystem::exists(file, ec))
        return;

    std::filesystem::create_directories(file.parent_path(), ec);
    const int fd = ::open(file.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0755);
    if (fd < 0)
        throw createError(file, errno);

    const auto image = embeddedModuleImage();
    const unsigned char* p = image.data();
    std::size_t left = image.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            ::close(fd);
            throw std::runtime_error("Stream write error: " + file.string() + ". " + std::strerror(error));
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0)
        throw std::runtime_error("Stream write error: " + file.string() + ". " + std::strerror(errno));
}
