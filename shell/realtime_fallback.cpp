#include "realtime_fallback.h"

#include "message_boxes.h"
#include "platform/realtime_kit_qt.h"
#include "platform/thread_priority.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace {

// Refused threads waiting for the main thread, each as thread id and priority in one word, so
// that a refused thread hands itself over without allocating or locking; 0 is a free slot.
std::array<std::atomic<std::uint64_t>, 64> waiting{};
std::atomic<qex::platform::MainThreadRequest*> installed{nullptr};

void onRefused(const qex::platform::ThreadId& thread, int priority)
{
    const std::uint64_t entry = (static_cast<std::uint64_t>(thread.tid) << 8) | static_cast<std::uint8_t>(priority);
    for (auto& slot : waiting) {
        std::uint64_t free = 0;
        if (slot.compare_exchange_strong(free, entry))
            break;
    }
    // With every slot taken the operator hears of the refusal all the same.
    if (qex::platform::MainThreadRequest* request = installed.load())
        request->raise();
}

} // namespace

QString realtimeRefusedText()
{
    return QStringLiteral(
        "The audio threads may not use real-time priority on this computer and run at normal priority: "
        "audio may drop out while the computer is busy. To allow it, add the user to the group \"audio\" "
        "(sudo adduser $USER audio) and give that group real-time priority with a limits file (the package "
        "installs an example: sudo cp /etc/security/limits.d/lumavox-qex.conf.example "
        "/etc/security/limits.d/lumavox-qex.conf), then log in again.");
}

TRealtimeFallback::TRealtimeFallback()
{
    installed.store(&request_);
    qex::platform::setRealtimeRefusedHandler(onRefused);
}

TRealtimeFallback::~TRealtimeFallback()
{
    qex::platform::setRealtimeRefusedHandler(nullptr);
    installed.store(nullptr);
}

void TRealtimeFallback::AskRealtimeKit()
{
    bool refused = false;
    for (auto& slot : waiting) {
        const std::uint64_t entry = slot.exchange(0);
        if (entry != 0)
            refused |= !qex::platform::makeThreadRealtimeWithRealtimeKit(static_cast<pid_t>(entry >> 8),
                                                                         static_cast<int>(entry & 0xff));
    }
    if (!refused || told_)
        return;
    told_ = true;
    showWarningNotice(realtimeRefusedText());
}
