#include "realtime_fallback.h"

#include "message_boxes.h"
#include "platform/main_dispatcher.h"
#include "platform/realtime_kit_qt.h"
#include "platform/thread_priority.h"

#include <QApplication>

#include <utility>

namespace {

bool told = false;

void askRealtimeKit(pid_t thread, int priority)
{
    if (qex::platform::makeThreadRealtimeWithRealtimeKit(thread, priority) || std::exchange(told, true))
        return;
    showWarningMessage(realtimeRefusedText(), QApplication::activeWindow());
}

} // namespace

QString realtimeRefusedText()
{
    return QStringLiteral(
        "The audio threads may not use real-time priority on this computer and run at normal priority: "
        "audio may drop out while the computer is busy. To allow it, add the user to the group \"audio\" "
        "(sudo adduser $USER audio) and give that group real-time priority with a limits file (the package "
        "installs /etc/security/limits.d/95-lumavox-qex.conf), then log in again.");
}

TRealtimeFallback::TRealtimeFallback()
{
    // Runs on the thread that was refused: the request goes to the main thread, which may talk to
    // the system bus.
    qex::platform::setRealtimeRefusedHandler([](const qex::platform::ThreadId& thread, int priority) {
        if (qex::platform::MainThreadDispatcher* dispatcher = qex::platform::mainThreadDispatcher())
            dispatcher->post([tid = thread.tid, priority] { askRealtimeKit(tid, priority); });
    });
}

TRealtimeFallback::~TRealtimeFallback()
{
    qex::platform::setRealtimeRefusedHandler({});
}
