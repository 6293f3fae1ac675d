// qex-render: processes an audio file through the processing module, headless, with the same
// plug-in host and the same module settings and presets as the program, writes the result and
// reports what the processing did to the programme's loudness. With --selftest it proves
// instead, on built-in signals, that the on-air processing keeps an FM transmitter's pilot clean.

#include "audio_file_reader.h"
#include "audio_file_writer.h"
#include "fm_selftest.h"
#include "progress_bar.h"
#include "render_report.h"

#include "dsp_plugin.h"
#include "module_settings.h"

#include "platform/system_folder.h"

#include <cstdio>
#include <cstdlib>
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
    out << "Usage: qex-render [--module FILE] [--format NAME] [--json] INPUT OUTPUT\n"
           "       qex-render --selftest\n"
           "Processes an audio file through the QEX processing module and reports its loudness.\n"
           "  --module FILE  the module library (default: "
        << kModuleFileName
        << " beside this program, else the one\n"
           "                 installed with it, else the one the program installed)\n"
           "  --format NAME  the output format: "
        << outputFormatNames()
        << " (default: from OUTPUT's extension)\n"
           "  --json         the report as one JSON object on standard output\n"
           "  --selftest     the FM-protection self-test of the on-air preset with pre-emphasis on\n";
}

// The module beside the renderer (a build or portable copy); else the one installed with the
// renderer, in its own folder under the library directory (QEX_INSTALLED_MODULE_DIR, relative to
// the renderer's folder, so that an installed tree can be moved); else the copy the program
// wrote into the system folder.
std::filesystem::path defaultModule()
{
    const auto folder = qex::platform::executableFolder();
    std::error_code ignored;
    for (const auto& candidate : {folder / kModuleFileName, folder / QEX_INSTALLED_MODULE_DIR / kModuleFileName})
        if (std::filesystem::exists(candidate, ignored))
            return candidate.lexically_normal();
    return qex::platform::systemFolder() / kModuleFileName;
}

struct Options {
    std::filesystem::path module;
    std::string input, output, format;
    bool json = false;
    bool selftest = false;
};

bool parse(int argc, char** argv, Options& options)
{
    options.module = defaultModule();
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--module" && i + 1 < argc)
            options.module = argv[++i];
        else if (arg == "--format" && i + 1 < argc)
            options.format = argv[++i];
        else if (arg == "--json")
            options.json = true;
        else if (arg == "--selftest")
            options.selftest = true;
        else if (!arg.empty() && arg[0] == '-' && arg != "-")
            return false;
        else if (options.input.empty())
            options.input = arg;
        else if (options.output.empty())
            options.output = arg;
        else
            return false;
    }
    if (options.selftest)
        return options.input.empty() && !options.json && options.format.empty();
    return !options.input.empty() && !options.output.empty();
}

std::optional<TOutputFormat> chosenFormat(const Options& options)
{
    const auto format = options.format.empty() ? outputFormatFor(options.output) : outputFormatNamed(options.format);
    if (!format)
        std::cerr << "qex-render: " << (options.format.empty() ? options.output : options.format)
                  << ": not an output format this renderer writes; use --format with one of: " << outputFormatNames()
                  << '\n';
    return format;
}

int render(const Options& options)
{
    const std::optional<TOutputFormat> format = chosenFormat(options);
    if (!format)
        return 2;
    std::optional<TMMAudioFileReader> reader;
    try {
        reader.emplace(options.input);
    } catch (const EAudioFileError& error) {
        std::cerr << "qex-render: " << options.input << ": " << error.what() << '\n';
        return 2;
    }
    const TWaveFormatEx& processed = *reader->WaveFormat();
    TRenderReport report(reader->SourceChannels(), reader->SourceRate(), processed.Channels,
                         static_cast<long>(processed.SamplesPerSec));
    reader->SetSourceMeasurement(&report.Input());
    TMMDSPPlugin host;
    TMMAudioFileWriter writer(options.output, *format);
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
    writer.Render([&](const std::int16_t* frames, std::size_t count) {
        report.AddOutput(frames, count);
        progress.Update(reader->FramesDecoded(), reader->SourceFrames());
    });
    progress.Finish();
    const std::string module = host.Description();
    host.UnloadModules();
    // Audio the module did not process is no render: nothing is written.
    if (const int fault = host.ModuleFault()) {
        std::cerr << "qex-render: " << ModuleFaultText(fault) << " Nothing was written.\n";
        return 1;
    }
    writer.Commit();

    if (options.json) {
        std::cout << report.Json() << '\n';
        return 0;
    }
    std::printf("%s: %.1f s of audio processed by \"%s\"\n", options.output.c_str(),
                static_cast<double>(writer.FramesWritten()) / processed.SamplesPerSec, module.c_str());
    if (reader->Converts())
        std::printf("input %s, converted to 16-bit %lu Hz\n", reader->SourceDescription().c_str(),
                    static_cast<unsigned long>(processed.SamplesPerSec));
    std::printf("%s", report.Table().c_str());
    return 0;
}

int selftest()
{
    const qex::ParameterSet set = onAirSetWithPreemphasis(qex::platform::executablePath());
    const std::string name(set.Global.Name.data(), ::strnlen(set.Global.Name.data(), set.Global.Name.size()));
    std::printf("FM-protection self-test: preset \"%s\" with pre-emphasis on\n", name.c_str());
    const TFmSelfTest result = runFmSelfTest(set);
    std::printf("%s", result.Report().c_str());
    return result.Passed() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    // Rendering reads the program's settings and presets; it never writes them.
    ::setenv(qex::kFilesReadOnlyVariable, "1", 1);
    Options options;
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        printUsage(std::cout);
        return 0;
    }
    if (!parse(argc, argv, options)) {
        printUsage(std::cerr);
        return 2;
    }
    try {
        return options.selftest ? selftest() : render(options);
    } catch (const std::exception& error) {
        std::cerr << "qex-render: " << error.what() << '\n';
        return 1;
    }
}
