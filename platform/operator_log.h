#pragma once
// One line on standard error for each thing the program tells its operator, so that the
// desktop session's journal (or a service's log) keeps what a message box showed.

#include <string_view>

namespace qex::platform {

// Writes "qex: " and the text as one line; line breaks inside the text become single spaces.
void logOperatorMessage(std::string_view text);

} // namespace qex::platform
