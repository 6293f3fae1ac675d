#pragma once
// Turns SIGTERM, SIGINT and SIGHUP into a call on the main thread, so that a logout or a
// service stop closes the program the way its Exit button does and nothing is lost.

#include <QObject>
#include <QSocketNotifier>

#include <functional>

namespace qex::platform {

class TerminationSignals : public QObject {
public:
    explicit TerminationSignals(std::function<void()> onSignal, QObject* parent = nullptr);
    ~TerminationSignals() override;

private:
    std::function<void()> onSignal_;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace qex::platform
