#include "interrupt_cleanup.h"

#include <array>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace {

constexpr std::array<int, 3> kInterruptions = {SIGINT, SIGTERM, SIGHUP};

// The name as the handler needs it: a fixed buffer, so that nothing is allocated there.
char pending[4096];
volatile std::sig_atomic_t armed = 0;

void onInterruption(int signal)
{
    if (armed)
        ::unlink(pending);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

} // namespace

void RemoveOnInterrupt(const std::filesystem::path& file)
{
    armed = 0;
    const std::string name = file.string();
    if (name.size() >= sizeof pending)
        return;
    std::memcpy(pending, name.c_str(), name.size() + 1);
    for (const int signal : kInterruptions)
        std::signal(signal, onInterruption);
    armed = 1;
}

void KeepOnInterrupt()
{
    armed = 0;
}
