#pragma once
// The real qex executable, copied into a folder of its own and started there, the way an
// operator installs and runs it.

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <sys/types.h>
#include <utility>
#include <vector>

// How a QexProcess starts beyond the usual.
struct QexLaunch {
    std::vector<std::string> arguments;
    std::vector<std::pair<std::string, std::string>> environment;
    // The program runs as an ordinary user (nobody) when the tests run as root, so that folder
    // permissions and scheduling limits hold for it; see handOverToOrdinaryUser.
    bool ordinaryUser = false;
    std::optional<rlim_t> realtimePriorityLimit; // RLIMIT_RTPRIO of the program
};

// Gives a folder and everything in it to the user an ordinaryUser launch runs as (when the
// tests run as root; otherwise the files are the tests' own already).
void handOverToOrdinaryUser(const std::filesystem::path& folder);

class QexProcess {
public:
    // Copies the built executable into appFolder (if not already there) and starts it with the
    // offscreen display and the given system folder. Its standard error goes to a file.
    QexProcess(const std::filesystem::path& appFolder, const std::filesystem::path& systemFolder,
               const std::filesystem::path& runtimeFolder, const QexLaunch& launch = {});
    ~QexProcess();
    QexProcess(const QexProcess&) = delete;
    QexProcess& operator=(const QexProcess&) = delete;

    // Exit code once the process has ended within the timeout, else nothing.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout);
    // Asks the program to close, as a logout would.
    void terminate();

    // What the program has written to standard error so far.
    std::string standardError() const;

    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    std::filesystem::path standardErrorFile_;
};

// Runs the built executable with the arguments in appFolder, as QexProcess does, to its end;
// returns its exit code and what it wrote (standard output and error).
struct QexRun {
    int exitCode = -1;
    std::string output;
};
QexRun runQexToEnd(const std::filesystem::path& appFolder, const std::vector<std::string>& arguments,
                   const std::vector<std::pair<std::string, std::string>>& environment = {});

// Waits until the predicate holds or the timeout passes; returns the predicate's last answer.
template <class Predicate>
bool waitUntil(Predicate predicate, std::chrono::milliseconds timeout = std::chrono::seconds(20))
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        struct timespec pause {
            0, 10'000'000
        };
        nanosleep(&pause, nullptr);
    }
    return true;
}
