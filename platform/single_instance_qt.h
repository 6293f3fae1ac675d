#pragma once
// Keeps one running copy of the program per system folder.
//
// The first copy holds an advisory lock on a small lock file and answers on a local socket.
// A later copy finds the lock taken, asks the running copy whether its guard is active, hands
// over its command line (which also brings the running copy's window to the front) and ends.

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

    // Returns only if this process may go on; otherwise activates the running copy and ends
    // this process with exit code 0 without touching any file.
    void check();

    // Whether this copy holds the registry lock (it is the first running copy).
    bool isFirstInstance() const { return lockHeld_; }

private:
    void serve(class QLocalSocket* socket);
    bool askRunningInstance();

    QString lockPath_;
    QString socketPath_;
    int lockFd_ = -1;
    bool lockHeld_ = false;
    QLocalServer server_;
};

// Key for the copies of the program that share a system folder.
QString instanceKeyFor(const QString& systemFolder);

} // namespace qex::platform
