// qex-render: processes a 16-bit PCM WAV file through the processing module, headless, with the
// same plug-in host and the same module settings and presets as the program, and writes the
// result as a WAV file.

#include "progress_bar.h"
#include "wave_file_reader.h"
#include "wave_file_writer.h"

#include "dsp_plugin.h"

#include "platform/system_folder.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <iostream>
#include <optional>
#include <string>

namespace {

// The program's own buffer size.
constexpr int kBufferBytes = 4096;
constexpr const char* kModuleFileName = "qexdsp.so";

void printUsage(std::ostream& out)
{
    out << "Usage: qex-render [--module FILE] INPUT.wav OUTPUT.wav\n"
           "Processes a 16-bit PCM WAV file through the QEX processing module.\n"
           "  --module FILE  the module library (default: " << kModuleFileName
        << " beside this program,\n"
           "                 else the one the program installed)\n";
}

// The module beside the renderer, as it is installed with the program; else the copy the
// program wrote into the system folder.
std::filesystem::path defaultModule()
{
    const auto beside = qex::platform::executableFolder() / kModuleFileName;
    std::error_code ignored;
    return std::filesystem::exists(beside, ignored) ? beside : qex::platform::systemFolder() / kModuleFileName;
}

struct Options {
    std::filesystem::path module;
    std::string input, output;
};

bool parse(int argc, char** argv, Options& options)
{
    options.module = defaultModule();
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--module" && i + 1 < argc)
            options.module = argv[++i];
        else if (!arg.empty() && arg[0] == '-' && arg != "-")
            return false;
        else if (options.input.empty())
            options.input = arg;
        else if (options.output.empty())
            options.output = arg;
        else
            return false;
    }
    return !options.input.empty() && !options.output.empty();
}

int render(const Options& options)
{
    std::optional<TMMWaveFileReader> reader;
    try {
        reader.emplace(options.input);
    } catch (const EWavFileError& error) {
        std::cerr << "qex-render: " << options.input << ": " << error.what() << '\n';
        return 2;
    }
    TMMDSPPlugin host;
    TMMWaveFileWriter writer(options.output);
    reader->SetOutput(&host);
    host.SetOutput(&writer);
    if (!host.LoadModuleFile(options.module.string())) {
        std::cerr << "qex-render: " << options.module.string() << ": not a processing module that can be loaded\n";
        return 1;
    }
    host.OpenModules(nullptr);
    host.SelectModule(0);
    for (TMMDSPComponent* component : std::initializer_list<TMMDSPComponent*>{&*reader, &host, &writer}) {
        component->SetBufferSize(kBufferBytes);
        component->Open();
    }
    host.InitModule();
    reader->Start();
    host.Start();
    writer.Start();

    TerminalProgress progress;
    writer.Render([&] { progress.Update(reader->BytesRead(), reader->TotalBytes()); });
    progress.Finish();
    const std::string module = host.Description();
    host.UnloadModules();
    writer.Commit();

    const TWaveFormatEx& format = *reader->WaveFormat();
    std::printf("%s: %.1f s of audio processed by \"%s\"\n", options.output.c_str(),
                static_cast<double>(writer.BytesWritten()) / format.AvgBytesPerSec, module.c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        printUsage(std::cout);
        return 0;
    }
    if (!parse(argc, argv, options)) {
        printUsage(std::cerr);
        return 2;
    }
    try {
        return render(options);
    } catch (const std::exception& error) {
        std::cerr << "qex-render: " << error.what() << '\n';
        return 1;
    }
}
