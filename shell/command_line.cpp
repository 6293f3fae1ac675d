#include "command_line.h"

#include <array>
#include <string_view>
#include <utility>

namespace {

constexpr std::array<std::pair<std::string_view, TRunMode>, 5> kOptions{{
    {"--headless", TRunMode::Headless},
    {"--list-devices", TRunMode::ListDevices},
    {"--help", TRunMode::Help},
    {"-h", TRunMode::Help},
    {"--version", TRunMode::Version},
}};

TRunMode optionMode(std::string_view argument)
{
    for (const auto& [name, mode] : kOptions)
        if (argument == name)
            return mode;
    return TRunMode::Refused;
}

TCommandLine refused(std::string error)
{
    return {TRunMode::Refused, std::move(error)};
}

} // namespace

TCommandLine parseCommandLine(int argc, const char* const* argv)
{
    TCommandLine line;
    std::string_view chosen;
    bool toolkitArguments = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        const TRunMode mode = optionMode(argument);
        if (mode != TRunMode::Refused) {
            if (line.mode != TRunMode::Window)
                return refused("the options " + std::string(chosen) + " and " + std::string(argument) +
                               " cannot be used together");
            line.mode = mode;
            chosen = argument;
        } else if (argument.starts_with("--")) {
            return refused("unknown option '" + std::string(argument) + "'");
        } else {
            toolkitArguments = true;
        }
    }
    if (line.mode != TRunMode::Window && toolkitArguments)
        return refused("unexpected argument with an option of the program");
    return line;
}

std::string refusalText(const std::string& error)
{
    return "qex: " + error + "\nTry 'qex --help'.\n";
}

std::string helpText()
{
    return "Usage: qex [--headless | --list-devices | --help | --version]\n"
           "Lumavox QEX, a live audio processor for radio broadcast.\n"
           "\n"
           "Without an option the program opens its window.\n"
           "  --headless      process audio without a window, with the devices, buffers, priority\n"
           "                  and presets of the settings file; one line per event on standard\n"
           "                  error; SIGTERM or SIGINT (Ctrl+C) stops it\n"
           "  --list-devices  list the input and output devices as Preferences offers them\n"
           "  --help, -h      show this help\n"
           "  --version       show the program's version\n"
           "\n"
           "Exit codes: 0 done, 1 the program could not start or stopped on an error, 2 the\n"
           "command line was refused.\n";
}

std::string versionText()
{
    return "Lumavox QEX " QEX_VERSION "\n";
}
