#pragma once
// The real qex executable, copied into a folder of its own and started there, the way an
// operator installs and runs it.

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>

class QexProcess {
public:
    // Copies the built executable into appFolder (if not already there) and starts it with the
    // offscreen display and the given system folder.
    QexProcess(const std::filesystem::path& appFolder, const std::filesystem::path& systemFolder,
               const std::filesystem::path& runtimeFolder);
    ~QexProcess();
    QexProcess(const QexProcess&) = delete;
    QexProcess& operator=(const QexProcess&) = delete;

    // Exit code once the process has ended within the timeout, else nothing.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout);
    // Asks the program to close, as a logout would.
    void terminate();

private:
    pid_t pid_ = -1;
};

// Waits until the predicate holds or the timeout passes; returns the predicate's last answer.
template <class Predicate>
bool waitUntil(Predicate predicate, std::chrono::milliseconds timeout = std::chrono::seconds(20))
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        struct timespec pause {0, 10'000'000};
        nanosleep(&pause, nullptr);
    }
    return true;
}
