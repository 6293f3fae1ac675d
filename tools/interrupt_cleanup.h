#pragma once
// A file that must not outlive the program when it is interrupted: the renderer's temporary
// output. On SIGINT, SIGTERM or SIGHUP the file is removed, and the program then ends as the
// signal would have ended it.

#include <filesystem>

// Removes the file if the program is interrupted from now on. One file at a time.
void RemoveOnInterrupt(const std::filesystem::path& file);
// The file is in its place: an interruption leaves it alone.
void KeepOnInterrupt();
