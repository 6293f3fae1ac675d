#pragma once
// The program's command line. Without options it opens its window (and leaves the options of
// the window toolkit, those with one dash, to the toolkit); each option of its own stands alone.

#include <string>

enum class TRunMode {
    Window,      // no option: the operator's window
    Headless,    // --headless: the live chain from the settings file, no window
    ListDevices, // --list-devices
    Help,        // --help, -h
    Version,     // --version
    Refused,     // an option or argument the program does not take
};

struct TCommandLine {
    TRunMode mode = TRunMode::Window;
    std::string error; // why the command line was refused
};

TCommandLine parseCommandLine(int argc, const char* const* argv);

// What a refused command line says on standard error (two lines).
std::string refusalText(const std::string& error);

std::string helpText();
std::string versionText();
