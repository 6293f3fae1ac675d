#include "operator_log.h"

#include <string>
#include <unistd.h>

namespace qex::platform {

void logOperatorMessage(std::string_view text)
{
    std::string line = "qex: ";
    bool inBreak = false;
    for (const char c : text) {
        const bool isBreak = c == '\n' || c == '\r';
        if (isBreak && !inBreak && line.back() != ' ')
            line += ' ';
        else if (!isBreak)
            line += c;
        inBreak = isBreak;
    }
    while (line.back() == ' ')
        line.pop_back();
    line += '\n';
    // One write, so that lines from several threads never interleave.
    const char* p = line.data();
    std::size_t left = line.size();
    while (left > 0) {
        const ssize_t n = ::write(STDERR_FILENO, p, left);
        if (n <= 0)
            return;
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

} // namespace qex::platform
