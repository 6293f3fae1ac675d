#pragma once
// A device component's way to the main thread (the hidden message window of the component):
// tasks posted from device threads run on the main thread in the order they were posted.
// Tasks still waiting when the component goes away are dropped, never run on a dead component.

#include <functional>
#include <memory>

class TMMMessageWindow {
public:
    TMMMessageWindow();
    ~TMMMessageWindow();
    TMMMessageWindow(const TMMMessageWindow&) = delete;
    TMMMessageWindow& operator=(const TMMMessageWindow&) = delete;

    // Whether the program has installed its main-thread dispatcher.
    static bool Available();
    // Queues the task for the main thread; false when no dispatcher is installed.
    bool Post(std::function<void()> task);

private:
    std::shared_ptr<bool> alive_; // read and cleared only on the main thread
};
