#include "preset_file.h"

#include "platform/file_rename.h"
#include "platform/file_replace.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace qex {

namespace {

constexpr char kVersionText[10] = "2.0";
// Earlier damaged copies of one slot that are kept beside it.
constexpr int kDamagedCopies = 100;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

private:
    int fd_;
};

size_t ReadAll(int fd, unsigned char* data, size_t size)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    return done;
}

} // namespace

bool MarkedReadOnly(const std::filesystem::path& file)
{
    struct stat st {};
    return ::stat(file.c_str(), &st) == 0 && (st.st_mode & S_IWUSR) == 0;
}

std::filesystem::path PresetFilePath(const std::filesystem::path& dataFolder, int n)
{
    return dataFolder / "PRESETS" / ("QEX$" + std::to_string(n) + ".dat");
}

PresetRead ReadPresetFile(const std::filesystem::path& file, ParameterSet& set)
{
    if (MarkedReadOnly(file))
        return PresetRead::NotOpened;
    FileDescriptor fd(::open(file.c_str(), O_RDWR | O_CLOEXEC));
    if (!fd.valid())
        return errno == ENOENT ? PresetRead::Missing : PresetRead::NotOpened;

    std::array<unsigned char, kPresetFileSize> bytes{};
    const size_t size = ReadAll(fd.get(), bytes.data(), bytes.size());

    ParameterSet staged = set;
    if (size > kPresetHeadSize)
        std::memcpy(&staged, bytes.data() + kPresetHeadSize, size - kPresetHeadSize);
    PublishParameterSet(set, staged);

    int32_t marker = 0;
    if (size < kPresetHeadSize)
        return PresetRead::WrongMarker;
    std::memcpy(&marker, bytes.data() + 10, sizeof marker);
    return marker == PresetMagic ? PresetRead::Valid : PresetRead::WrongMarker;
}

bool WritePresetFile(const std::filesystem::path& file, const ParameterSet& set)
{
    if (MarkedReadOnly(file))
        return false;
    std::array<char, kPresetFileSize> bytes{};
    std::memcpy(bytes.data(), kVersionText, sizeof kVersionText);
    std::memcpy(bytes.data() + 10, &PresetMagic, sizeof PresetMagic);
    std::memcpy(bytes.data() + kPresetHeadSize, &set, sizeof set);
    return platform::replaceFileContents(file, std::string_view(bytes.data(), bytes.size()));
}

bool SetDamagedPresetAside(const std::filesystem::path& file)
{
    const std::string aside = file.string() + ".damaged";
    for (int copy = 1; copy <= kDamagedCopies; ++copy) {
        if (platform::renameFileNoReplace(file, copy == 1 ? aside : aside + "." + std::to_string(copy)))
            return true;
        if (errno != EEXIST)
            return false;
    }
    return false;
}

} // namespace qex
