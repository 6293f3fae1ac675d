// The main of the test binaries that run the processing module in their own process. The module
// keeps its settings (qex.ini) and presets beside the executable that hosts it, so such a binary
// runs its tests as a copy of itself in a fresh temporary folder, which goes away afterwards with
// whatever the module wrote there: nothing lands beside the build's binaries, and test processes
// running side by side share nothing.

#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr const char* kCopyMark = "QEX_TEST_RUNS_AS_COPY";

// Runs this binary's copy in folder with the same arguments; its exit code.
int runCopyIn(const std::filesystem::path& folder, char** argv)
{
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
    const std::filesystem::path copy = folder / self.filename();
    std::filesystem::copy_file(self, copy);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv(kCopyMark, "1", 1);
        ::execv(copy.c_str(), argv);
        ::_exit(127);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid)
        return 1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv(kCopyMark)) {
        const TempFolder folder;
        return runCopyIn(folder.path(), argv);
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
