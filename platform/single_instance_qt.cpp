#include "single_instance_qt.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QThread>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qex::platform {

namespace {

// Where a private folder for this user's copies lives: the session's runtime folder, else a
// folder of our own in the temporary folder that nobody else can own or enter, else the home
// folder.
QString runtimeFolder()
{
    const QByteArray xdg = qgetenv("XDG_RUNTIME_DIR");
    if (!xdg.isEmpty() && QDir(QString::fromLocal8Bit(xdg)).exists())
        return QString::fromLocal8Bit(xdg);
    const QString own = QDir::tempPath() + QStringLiteral("/lumavox-qex-%1").arg(::getuid());
    const QByteArray path = QFile::encodeName(own);
    ::mkdir(path.constData(), 0700);
    struct stat info {};
    if (::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid() &&
        (info.st_mode & 0077) == 0)
        return own;
    return QDir::homePath();
}

QByteArray readLine(QLocalSocket& socket, int timeoutMs)
{
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(timeoutMs))
            return {};
    }
    return socket.readLine().trimmed();
}

} // namespace

QString instanceKeyFor(const QString& systemFolder)
{
    // FNV-1a: the same text gives the same key in every build.
    quint64 hash = 1469598103934665603ULL;
    for (const char c : QDir::cleanPath(systemFolder).toUtf8()) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ULL;
    }
    return QStringLiteral("lumavox-qex-%1-%2").arg(::getuid()).arg(hash, 16, 16, QLatin1Char('0'));
}

SingleInstanceGuard::SingleInstanceGuard(const QString& key, QObject* parent) : QObject(parent)
{
    const QString folder = runtimeFolder();
    lockPath_ = folder + "/" + key + ".lock";
    socketPath_ = folder + "/" + key + ".sock";
    lockFd_ = ::open(QFile::encodeName(lockPath_).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFd_ < 0)
        return;
    if (::flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
        otherRunning_ = errno == EWOULDBLOCK;
        return;
    }
    // A socket left by a copy that crashed is stale: the lock proves nobody serves it.
    QLocalServer::removeServer(socketPath_);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    server_.listen(socketPath_);
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_.nextPendingConnection())
            serve(socket);
    });
}

SingleInstanceGuard::~SingleInstanceGuard()
{
    server_.close();
    if (lockFd_ >= 0)
        ::close(lockFd_);
}

void SingleInstanceGuard::serve(QLocalSocket* socket)
{
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
        while (socket->canReadLine()) {
            const QByteArray line = socket->readLine().trimmed();
            if (line == "QUERY") {
                socket->write(Active ? "ACTIVE 1\n" : "ACTIVE 0\n");
            } else if (line.startsWith("ACTIVATE")) {
                socket->write("OK\n");
                socket->flush();
                if (OnActivate)
                    OnActivate(QString::fromUtf8(line.mid(9)));
            }
        }
    });
}

bool SingleInstanceGuard::runningCopyActive()
{
    QLocalSocket socket;
    // The running copy may still be starting up; give it a moment to listen.
    for (int attempt = 0; attempt < 30; ++attempt) {
        socket.connectToServer(socketPath_);
        if (socket.waitForConnected(100))
            break;
        QThread::msleep(100);
    }
    // A copy that holds the lock is alive; one that does not answer (busy opening a device,
    // say) counts as active, so that two copies never share the settings and the database.
    if (socket.state() != QLocalSocket::ConnectedState)
        return true;
    socket.write("QUERY\n");
    if (readLine(socket, 2000) == "ACTIVE 0")
        return false;

    QString commandLine = QCoreApplication::arguments().join(QLatin1Char(' '));
    commandLine.replace(QLatin1Char('\n'), QLatin1Char(' '));
    socket.write("ACTIVATE " + commandLine.toUtf8() + "\n");
    readLine(socket, 2000);
    return true;
}

void SingleInstanceGuard::check()
{
    // A copy that went on once goes on at every later check.
    if (!Active || !otherRunning_ || MaxInstances > 1 || passed_)
        return;
    if (!runningCopyActive()) {
        passed_ = true;
        return;
    }
    ::_exit(OnSecondCopy ? OnSecondCopy() : 0);
}

} // namespace qex::platform
