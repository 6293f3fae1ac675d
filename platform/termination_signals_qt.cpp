#include "termination_signals_qt.h"

#include <csignal>
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace qex::platform {

namespace {

int signalFd = -1;

void onTerminationSignal(int)
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(signalFd, &one, sizeof one);
}

} // namespace

TerminationSignals::TerminationSignals(std::function<void()> onSignal, QObject* parent)
    : QObject(parent), onSignal_(std::move(onSignal))
{
    signalFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    notifier_ = new QSocketNotifier(signalFd, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        std::uint64_t count = 0;
        [[maybe_unused]] const auto n = ::read(signalFd, &count, sizeof count);
        if (onSignal_)
            onSignal_();
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &action, nullptr);
}

TerminationSignals::~TerminationSignals()
{
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::signal(sig, SIG_DFL);
    delete notifier_;
    notifier_ = nullptr;
    ::close(signalFd);
    signalFd = -1;
}

} // namespace qex::platform
