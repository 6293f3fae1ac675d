#pragma once
// The program's main window as a test drives it, inside a child process whose executable lies
// in the test's application folder (see isolated_run.h): the same objects the program creates
// at start, with a stand-in answering its dialogs.

#include "modal_answerer.h"

#include "data_mod.h"
#include "frm_qex.h"
#include "platform/main_dispatcher_qt.h"

#include <QAbstractButton>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>

class WindowHarness {
public:
    // Builds the data module and the main window and shows it, answering dialogs in order.
    explicit WindowHarness(QStringList answers = {});
    ~WindowHarness();

    TfrmQEX& window() { return *window_; }
    TDataMod& dataModule() { return dataMod_; }
    ModalAnswerer& operatorStandIn() { return answerer_; }

    // Runs the event loop for a while, or until the condition holds.
    void pump(std::chrono::milliseconds duration);
    bool pumpUntil(const std::function<bool()>& condition,
                   std::chrono::milliseconds timeout = std::chrono::seconds(10));

    // Selects the virtual test-signal input and silent output in the panel and applies them.
    void useVirtualDevices();
    // Starts processing on the virtual devices; true once the test signal reaches both meters
    // (the ring primes with silence first).
    bool startOnVirtualDevices();
    // Clicks a button as the operator does (an operator cannot click a disabled one).
    void click(QAbstractButton* button);

private:
    qex::platform::QtMainThreadDispatcher dispatcher_;
    ModalAnswerer answerer_;
    TDataMod dataMod_;
    std::unique_ptr<TfrmQEX> window_;
};

// The argument list a child's QApplication needs.
int& testArgc();
char** testArgv();
