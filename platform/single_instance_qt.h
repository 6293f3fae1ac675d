#pragma once
// Keeps one running copy of the program per system folder.
//
// The first copy holds an advisory lock on a small lock file and answers on a local socket.
// A later copy finds the lock taken, asks the running copy whether its guard is active, hands
// over its command line (which also brings the running copy's window to the front) and ends.
// The lock and the socket live in the user's runtime folder (or a private folder of the user's).

#include <QLocalServer>
#include <QObject>
#include <QString>

#include <functional>

namespace qex::platform {

class SingleInstanceGuard : public QObject {
public:
    // Instances with the same key count as copies of one program.
    explicit SingleInstanceGuard(const QString& key, QObject* parent = nullptr);
    ~SingleInstanceGuard() override;

    bool Active = true;
    int MaxInstances = 1;

    // Called in the running copy when a later copy hands over its command line.
    std::function<void(const QString& commandLine)> OnActivate;

    // Called in a later copy just before it ends; gives its exit code. Without it the copy ends
    // with exit code 0.
    std::function<int()> OnSecondCopy;

    // Returns only if this process may go on; otherwise activates the running copy and ends
    // this process (see OnSecondCopy) without touching any file.
    void check();

private:
    void serve(class QLocalSocket* socket);
    // Whether the copy holding the lock says its guard is active; hands over the command line if
    // so. A copy that cannot be reached or does not answer counts as active.
    bool runningCopyActive();

    QString lockPath_;
    QString socketPath_;
    int lockFd_ = -1;
    bool otherRunning_ = false; // another copy holds the lock
    bool passed_ = false;       // a check let this copy go on
    QLocalServer server_;
};

// Key for the copies of the program that share a system folder.
QString instanceKeyFor(const QString& systemFolder);

} // namespace qex::platform
