#pragma once
// How the engine shows something to the operator without knowing about windows. The shell
// installs a handler backed by message boxes; until then notices go to stderr.

#include <functional>
#include <string>

enum class TMMNoticeKind {
    Message, // an informative message box with a title
    Error,   // the application's error display (a device thread's failure)
};

using TMMNoticeHandler = std::function<void(TMMNoticeKind kind, const std::string& title, const std::string& text)>;

// Installs the handler (an empty one restores the default). Notices are shown on the main thread.
void setEngineNoticeHandler(TMMNoticeHandler handler);

void showEngineNotice(TMMNoticeKind kind, const std::string& title, const std::string& text);
