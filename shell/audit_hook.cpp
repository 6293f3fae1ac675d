#include "audit_hook.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace {

std::function<void(const std::string&, const std::string&)>& target()
{
    static std::function<void(const std::string&, const std::string&)> current;
    return current;
}

} // namespace

extern "C" __attribute__((visibility("default"))) void qex_audit_record(const char* action, const char* detail)
{
    if (!action || !QCoreApplication::instance())
        return;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [action = std::string(action), detail = std::string(detail ? detail : "")] {
            if (target())
                target()(action, detail);
        },
        Qt::QueuedConnection);
}

void setAuditHookTarget(std::function<void(const std::string&, const std::string&)> hookTarget)
{
    target() = std::move(hookTarget);
}
