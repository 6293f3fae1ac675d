#include "qex_process.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr uid_t kNobody = 65534;

std::atomic<int> launches{0};

fs::path copiedExecutable(const fs::path& appFolder)
{
    const fs::path exe = appFolder / "qex";
    if (!fs::exists(exe))
        fs::copy_file(QEX_BINARY, exe);
    return exe;
}

// In the child: the arguments as exec takes them.
std::vector<char*> argumentVector(const std::vector<std::string>& arguments)
{
    std::vector<char*> argv{const_cast<char*>("qex")};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    return argv;
}

} // namespace

void handOverToOrdinaryUser(const fs::path& folder)
{
    if (::geteuid() != 0)
        return;
    ::chown(folder.c_str(), kNobody, kNobody);
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        ::lchown(entry.path().c_str(), kNobody, kNobody);
}

QexProcess::QexProcess(const fs::path& appFolder, const fs::path& systemFolder, const fs::path& runtimeFolder,
                       const QexLaunch& launch)
{
    const fs::path exe = copiedExecutable(appFolder);
    standardErrorFile_ = runtimeFolder.parent_path() /
        ("qex-stderr-" + std::to_string(::getpid()) + "-" + std::to_string(launches++) + ".txt");
    const int errorFd = ::open(standardErrorFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    std::vector<char*> argv = argumentVector(launch.arguments);

    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(errorFd, STDERR_FILENO);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::setenv("QEX_SYSTEM_DIR", systemFolder.c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", runtimeFolder.c_str(), 1);
        for (const auto& [name, value] : launch.environment)
            ::setenv(name.c_str(), value.c_str(), 1);
        if (launch.realtimePriorityLimit) {
            const rlimit limit{*launch.realtimePriorityLimit, *launch.realtimePriorityLimit};
            if (::setrlimit(RLIMIT_RTPRIO, &limit) != 0)
                ::_exit(125);
        }
        if (launch.ordinaryUser && ::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
            ::_exit(126);
        ::chdir(appFolder.c_str());
        ::execv(exe.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(errorFd);
}

std::string QexProcess::standardError() const
{
    std::ifstream in(standardErrorFile_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

QexRun runQexToEnd(const fs::path& appFolder, const std::vector<std::string>& arguments,
                   const std::vector<std::pair<std::string, std::string>>& environment)
{
    const fs::path exe = copiedExecutable(appFolder);
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return {};
    std::vector<char*> argv = argumentVector(arguments);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        ::dup2(pipeFds[1], STDERR_FILENO);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        for (const auto& [name, value] : environment)
            ::setenv(name.c_str(), value.c_str(), 1);
        ::chdir(appFolder.c_str());
        ::execv(exe.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    QexRun run;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0)
        run.output.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
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
