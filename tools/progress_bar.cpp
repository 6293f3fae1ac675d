#include "progress_bar.h"

#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

constexpr int kWidth = 40;

} // namespace

TerminalProgress::TerminalProgress() : enabled_(::isatty(STDERR_FILENO) != 0) {}

void TerminalProgress::Update(std::uint64_t done, std::uint64_t total)
{
    if (!enabled_)
        return;
    const int percent = total == 0 ? 100 : static_cast<int>(done * 100 / total);
    if (percent == shown_)
        return;
    shown_ = percent;
    const int filled = percent * kWidth / 100;
    const std::string bar = std::string(static_cast<std::size_t>(filled), '#') +
        std::string(static_cast<std::size_t>(kWidth - filled), '-');
    std::fprintf(stderr, "\r[%s] %3d%%", bar.c_str(), percent);
    std::fflush(stderr);
}

void TerminalProgress::Finish()
{
    if (enabled_ && shown_ >= 0)
        std::fputc('\n', stderr);
    shown_ = -1;
}
