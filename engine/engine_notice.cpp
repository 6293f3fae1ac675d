#include "engine_notice.h"

#include <iostream>
#include <mutex>

namespace {

std::mutex handlerLock;
TMMNoticeHandler installedHandler;

} // namespace

void setEngineNoticeHandler(TMMNoticeHandler handler)
{
    std::lock_guard guard(handlerLock);
    installedHandler = std::move(handler);
}

void showEngineNotice(TMMNoticeKind kind, const std::string& title, const std::string& text)
{
    TMMNoticeHandler handler;
    {
        std::lock_guard guard(handlerLock);
        handler = installedHandler;
    }
    if (handler)
        handler(kind, title, text);
    else
        std::cerr << (title.empty() ? std::string() : title + ": ") << text << '\n';
}
