#include "message_window.h"

#include "platform/main_dispatcher.h"

TMMMessageWindow::TMMMessageWindow() : alive_(std::make_shared<bool>(true)) {}

TMMMessageWindow::~TMMMessageWindow()
{
    *alive_ = false;
}

bool TMMMessageWindow::Available()
{
    return qex::platform::mainThreadDispatcher() != nullptr;
}

bool TMMMessageWindow::Post(std::function<void()> task)
{
    auto* dispatcher = qex::platform::mainThreadDispatcher();
    if (!dispatcher)
        return false;
    dispatcher->post([alive = alive_, task = std::move(task)] {
        if (*alive)
            task();
    });
    return true;
}
