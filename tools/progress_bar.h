#pragma once
// A progress bar on the terminal: drawn on stderr when it is a terminal, redrawn only when the
// shown percentage changes; nothing at all when the output goes elsewhere.

#include <cstdint>

class TerminalProgress {
public:
    TerminalProgress();
    void Update(std::uint64_t done, std::uint64_t total);
    // Ends the bar's line.
    void Finish();

private:
    bool enabled_;
    int shown_ = -1;
};
