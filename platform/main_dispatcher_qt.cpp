#include "main_dispatcher_qt.h"

namespace qex::platform {

QtMainThreadDispatcher::QtMainThreadDispatcher(QObject* parent)
    : QObject(parent), notifier_(dispatcher_.wakeDescriptor(), QSocketNotifier::Read)
{
    connect(&notifier_, &QSocketNotifier::activated, this, [this] { dispatcher_.pump(); });
    installMainThreadDispatcher(&dispatcher_);
}

QtMainThreadDispatcher::~QtMainThreadDispatcher()
{
    if (mainThreadDispatcher() == &dispatcher_)
        installMainThreadDispatcher(nullptr);
}

} // namespace qex::platform
