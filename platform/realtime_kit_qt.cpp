#include "realtime_kit_qt.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>

#include <algorithm>
#include <sys/resource.h>

namespace qex::platform {

namespace {

const QString kService = QStringLiteral("org.freedesktop.RealtimeKit1");
const QString kPath = QStringLiteral("/org/freedesktop/RealtimeKit1");
constexpr int kTimeoutMs = 2000;

// A property of RealtimeKit, or nothing valid when it cannot be read.
QVariant property(QDBusConnection& bus, const QString& name)
{
    QDBusMessage get = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << kService << name;
    const QDBusMessage reply = bus.call(get, QDBus::Block, kTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return reply.arguments().first().value<QDBusVariant>().variant();
}

} // namespace

bool makeThreadRealtimeWithRealtimeKit(pid_t thread, int priority)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return false;
    const QVariant highest = property(bus, QStringLiteral("MaxRealtimePriority"));
    const QVariant rtTime = property(bus, QStringLiteral("RTTimeUSecMax"));
    if (!highest.isValid() || !rtTime.isValid())
        return false;
    // RealtimeKit serves only processes that a runaway real-time thread cannot lock up.
    const rlimit limit{static_cast<rlim_t>(rtTime.toLongLong()), static_cast<rlim_t>(rtTime.toLongLong())};
    if (::setrlimit(RLIMIT_RTTIME, &limit) != 0)
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("MakeThreadRealtime"));
    call << QVariant::fromValue(static_cast<quint64>(thread))
         << QVariant::fromValue(static_cast<quint32>(std::min(priority, highest.toInt())));
    return bus.call(call, QDBus::Block, kTimeoutMs).type() == QDBusMessage::ReplyMessage;
}

} // namespace qex::platform
