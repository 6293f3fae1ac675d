#pragma once
// Connects the main-thread dispatcher to the Qt event loop: queued tasks run as soon as the
// loop sees the dispatcher's wake descriptor become readable.

#include "main_dispatcher.h"

#include <QObject>
#include <QSocketNotifier>

namespace qex::platform {

class QtMainThreadDispatcher : public QObject {
public:
    explicit QtMainThreadDispatcher(QObject* parent = nullptr);
    ~QtMainThreadDispatcher() override;

    MainThreadDispatcher& dispatcher() { return dispatcher_; }

private:
    MainThreadDispatcher dispatcher_;
    QSocketNotifier notifier_;
};

} // namespace qex::platform
