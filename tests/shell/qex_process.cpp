#include "qex_process.h"

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

QexProcess::QexProcess(const fs::path& appFolder, const fs::path& systemFolder, const fs::path& runtimeFolder)
{
    const fs::path exe = appFolder / "qex";
    if (!fs::exists(exe))
        fs::copy_file(QEX_BINARY, exe);

    pid_ = ::fork();
    if (pid_ == 0) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::setenv("QEX_SYSTEM_DIR", systemFolder.c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", runtimeFolder.c_str(), 1);
        ::chdir(appFolder.c_str());
        ::execl(exe.c_str(), "qex", static_cast<char*>(nullptr));
        ::_exit(127);
    }
}

QexProcess::~QexProcess()
{
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

std::optional<int> QexProcess::waitForExit(std::chrono::milliseconds timeout)
{
    std::optional<int> code;
    waitUntil(
        [&] {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) != pid_)
                return false;
            code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            pid_ = -1;
            return true;
        },
        timeout);
    return code;
}

void QexProcess::terminate()
{
    if (pid_ > 0)
        ::kill(pid_, SIGTERM);
}
