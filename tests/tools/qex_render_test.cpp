// qex-render as a user runs it: a generated file in, the module's processing of it out, converted
// on the way in where the module cannot take it, and a loudness report that agrees with the
// library's own figures; files it cannot process refused with a clear message, an existing
// output left alone.

#include "engine_test_support.h"
#include "module_reference.h"

#include "platform/wave/test_signal.h"

#include <ebur128.h>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
namespace wave = qex::platform::wave;

namespace {

std::vector<char> readFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& file, const std::vector<char>& bytes)
{
    std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void append16(std::vector<char>& out, unsigned v)
{
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void append32(std::vector<char>& out, unsigned v)
{
    append16(out, v & 0xFFFF);
    append16(out, v >> 16);
}

// A WAV file, written here byte by byte rather than with the renderer's own code.
std::vector<char> wavFile(unsigned tag, unsigned channels, unsigned rate, unsigned bits, const std::vector<char>& data,
                          unsigned claimedDataBytes)
{
    std::vector<char> out;
    for (char c : std::string("RIFF"))
        out.push_back(c);
    append32(out, 36 + claimedDataBytes);
    for (char c : std::string("WAVEfmt "))
        out.push_back(c);
    append32(out, 16);
    append16(out, tag);
    append16(out, channels);
    append32(out, rate);
    append32(out, rate * channels * bits / 8);
    append16(out, channels * bits / 8);
    append16(out, bits);
    for (char c : std::string("data"))
        out.push_back(c);
    append32(out, claimedDataBytes);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

std::vector<char> programme(unsigned channels, unsigned rate, std::uint32_t frames)
{
    std::vector<char> bytes(static_cast<std::size_t>(frames) * channels * 2);
    const auto align = static_cast<std::uint16_t>(channels * 2);
    const wave::WaveFormatEx format{1, static_cast<std::uint16_t>(channels), rate, rate * align, align, 16, 0};
    wave::ProgramSignal(rate).render(0, frames, format, bytes.data());
    return bytes;
}

class QexRenderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/qex-render-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder = pattern;
    }
    void TearDown() override { fs::remove_all(folder); }

    // Runs the renderer with the arguments; returns its exit code and keeps what it said on
    // stdout and stderr. The renderer runs as a copy beside this test binary (itself a copy in a
    // temporary folder), where it keeps the module's settings as the program would.
    int Run(const std::vector<std::string>& arguments)
    {
        const fs::path renderer = fs::read_symlink("/proc/self/exe").parent_path() / fs::path(QEX_RENDER).filename();
        if (!fs::exists(renderer))
            fs::copy_file(QEX_RENDER, renderer);
        const fs::path messages = folder / "stderr.txt";
        const fs::path said = folder / "stdout.txt";
        std::string command = "'" + renderer.string() + "'";
        for (const std::string& argument : arguments)
            command += " '" + argument + "'";
        command += " >'" + said.string() + "' 2>'" + messages.string() + "'";
        const int status = std::system(command.c_str());
        for (auto [file, text] : {std::pair{messages, &stderrText}, std::pair{said, &stdoutText}}) {
            const std::vector<char> bytes = readFile(file);
            text->assign(bytes.begin(), bytes.end());
            fs::remove(file);
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    int Render(const fs::path& input, const fs::path& output, const std::string& module = QEX_MODULE_FILE,
               const std::vector<std::string>& more = {})
    {
        std::vector<std::string> arguments{"--module", module};
        arguments.insert(arguments.end(), more.begin(), more.end());
        arguments.push_back(input.string());
        arguments.push_back(output.string());
        return Run(arguments);
    }

    // Only the files the test made are left in the folder: no temporary file survives.
    std::vector<std::string> Files() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path folder;
    std::string stderrText;
    std::string stdoutText;
};

} // namespace

TEST_F(QexRenderTest, AGeneratedFileComesOutAsTheModulesProcessingOfIt)
{
    // 16-bit 44 100 Hz files pass unconverted, mono kept mono, and come out bit-identical.
    for (const auto& [channels, rate] : {std::pair{2u, 44100u}, std::pair{1u, 44100u}}) {
        // Not a whole number of buffers, so the last one is short.
        const std::vector<char> input = programme(channels, rate, 2 * rate + 333);
        writeFile(folder / "in.wav", wavFile(1, channels, rate, 16, input, static_cast<unsigned>(input.size())));
        ASSERT_EQ(Render(folder / "in.wav", folder / "out.wav"), 0) << stderrText;

        std::vector<char> expected = input;
        qextest::ModuleReference(QEX_MODULE_FILE)
            .Process(expected, static_cast<int>(channels), static_cast<int>(rate),
                     static_cast<int>(4096 / (channels * 2)));
        EXPECT_EQ(readFile(folder / "out.wav"),
                  wavFile(1, channels, rate, 16, expected, static_cast<unsigned>(expected.size())))
            << channels << " channels at " << rate << " Hz";
        EXPECT_EQ(Files(), (std::vector<std::string>{"in.wav", "out.wav"}));
    }
}

TEST_F(QexRenderTest, FilesItCannotProcessAreRefusedAndLeaveTheOutputAlone)
{
    const std::vector<char> samples = programme(2, 44100, 1000);
    const std::vector<char> precious{'k', 'e', 'e', 'p'};
    std::vector<char> cutShort = wavFile(1, 2, 44100, 16, samples, static_cast<unsigned>(samples.size()));
    cutShort.resize(30);
    struct Case {
        std::vector<char> file;
        std::string reason;
    };
    const std::vector<char> surround = programme(3, 44100, 1000);
    const Case cases[] = {
        {{'h', 'e', 'l', 'l', 'o', '\n'}, "not an audio file that can be read (Format not recognised.)"},
        {wavFile(1, 2, 44100, 16, samples, static_cast<unsigned>(samples.size()) * 2),
         "truncated: the file holds less audio than its header says"},
        {cutShort, "not an audio file that can be read"},
        {wavFile(1, 3, 44100, 16, surround, static_cast<unsigned>(surround.size())),
         "3 channels; only mono and stereo are processed"},
    };
    for (const Case& bad : cases) {
        writeFile(folder / "in.wav", bad.file);
        writeFile(folder / "out.wav", precious);
        EXPECT_NE(Render(folder / "in.wav", folder / "out.wav"), 0);
        EXPECT_NE(stderrText.find("qex-render: " + (folder / "in.wav").string() + ": " + bad.reason), std::string::npos)
            << stderrText;
        EXPECT_EQ(readFile(folder / "out.wav"), precious);
        EXPECT_EQ(Files(), (std::vector<std::string>{"in.wav", "out.wav"}));
    }
}

TEST_F(QexRenderTest, AModuleThatCannotBeLoadedIsReported)
{
    const std::vector<char> samples = programme(2, 44100, 1000);
    writeFile(folder / "in.wav", wavFile(1, 2, 44100, 16, samples, static_cast<unsigned>(samples.size())));
    EXPECT_EQ(Render(folder / "in.wav", folder / "out.wav", (folder / "missing.so").string()), 1);
    EXPECT_NE(stderrText.find("missing.so: not a processing module that can be loaded"), std::string::npos)
        << stderrText;
    EXPECT_EQ(Files(), (std::vector<std::string>{"in.wav"}));
}

TEST_F(QexRenderTest, RenderingLeavesTheProgramsSettingsAndPresetsAsTheyWere)
{
    // The renderer lies in the program's folder, with the program's settings and presets.
    const fs::path program = fs::read_symlink("/proc/self/exe").parent_path();
    const std::vector<char> samples = programme(2, 44100, 1000);
    writeFile(folder / "in.wav", wavFile(1, 2, 44100, 16, samples, static_cast<unsigned>(samples.size())));

    ASSERT_EQ(Render(folder / "in.wav", folder / "out.wav"), 0) << stderrText;
    EXPECT_FALSE(fs::exists(program / "qex.ini")) << "a fresh folder got a settings file";

    // A damaged preset on air and no preset 0: neither is rebuilt, set aside or created.
    const std::string settings = "[Devices]\nInput device=1\n[OrvianAudioProcessor]\nProcessNumber=3\n";
    writeFile(program / "qex.ini", std::vector<char>(settings.begin(), settings.end()));
    fs::create_directory(program / "PRESETS");
    writeFile(program / "PRESETS" / "QEX$3.dat", {'b', 'a', 'd'});
    ASSERT_EQ(Render(folder / "in.wav", folder / "out.wav"), 0) << stderrText;
    const std::vector<char> after = readFile(program / "qex.ini");
    EXPECT_EQ(std::string(after.begin(), after.end()), settings);
    std::vector<std::string> presets;
    for (const auto& entry : fs::directory_iterator(program / "PRESETS"))
        presets.push_back(entry.path().filename().string());
    EXPECT_EQ(presets, std::vector<std::string>{"QEX$3.dat"});
    EXPECT_EQ(readFile(program / "PRESETS" / "QEX$3.dat"), (std::vector<char>{'b', 'a', 'd'}));
}

TEST_F(QexRenderTest, OutputsThatAreLinksOrPipesStayWhatTheyAre)
{
    const std::vector<char> samples = programme(2, 44100, 4410);
    writeFile(folder / "in.wav", wavFile(1, 2, 44100, 16, samples, static_cast<unsigned>(samples.size())));

    // A link: the file it names gets the render, the link stays.
    writeFile(folder / "take.wav", {'o', 'l', 'd'});
    fs::create_symlink("take.wav", folder / "link.wav");
    ASSERT_EQ(Render(folder / "in.wav", folder / "link.wav"), 0) << stderrText;
    EXPECT_TRUE(fs::is_symlink(folder / "link.wav"));
    EXPECT_GT(fs::file_size(folder / "take.wav"), samples.size());

    // A named pipe is written into, never replaced by a file.
    ASSERT_EQ(::mkfifo((folder / "pipe.flac").c_str(), 0600), 0);
    std::vector<char> piped;
    std::thread reader([&] { piped = readFile(folder / "pipe.flac"); });
    EXPECT_EQ(Render(folder / "in.wav", folder / "pipe.flac"), 0) << stderrText;
    reader.join();
    EXPECT_GT(piped.size(), 100u);
    EXPECT_EQ(fs::status(folder / "pipe.flac").type(), fs::file_type::fifo);
}

TEST_F(QexRenderTest, AnInterruptedRenderLeavesNoTemporaryFile)
{
    // The input comes through a pipe that holds only its start, so the render is surely under way
    // and waits for more. The test keeps the pipe open at both ends: nothing blocks on it.
    const std::vector<char> samples = programme(2, 44100, 44100);
    const std::vector<char> wav = wavFile(1, 2, 44100, 16, samples, static_cast<unsigned>(samples.size()));
    ASSERT_EQ(::mkfifo((folder / "in.wav").c_str(), 0600), 0);
    const int pipe = ::open((folder / "in.wav").c_str(), O_RDWR);
    ASSERT_GE(pipe, 0);
    ASSERT_EQ(::write(pipe, wav.data(), 60000), 60000);

    const fs::path renderer = fs::read_symlink("/proc/self/exe").parent_path() / fs::path(QEX_RENDER).filename();
    if (!fs::exists(renderer))
        fs::copy_file(QEX_RENDER, renderer);
    const pid_t child = ::fork();
    if (child == 0) {
        ::freopen("/dev/null", "w", stderr);
        ::execl(renderer.c_str(), renderer.c_str(), "--module", QEX_MODULE_FILE, (folder / "in.wav").c_str(),
                (folder / "out.wav").c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const auto temporary = [&] {
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.path().filename().string().starts_with(".out.wav."))
                return true;
        return false;
    };
    for (int wait = 0; wait < 1000 && !temporary(); ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(temporary()) << "the render never began";
    ::kill(child, SIGINT);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(pipe);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT);
    EXPECT_EQ(Files(), (std::vector<std::string>{"in.wav"}));
}

TEST_F(QexRenderTest, AModuleFaultIsAnErrorAndLeavesNoFile)
{
    const std::vector<char> samples = programme(2, 44100, 1000);
    writeFile(folder / "in.wav", wavFile(1, 2, 44100, 16, samples, static_cast<unsigned>(samples.size())));
    EXPECT_EQ(Render(folder / "in.wav", folder / "out.wav", qextest::testPluginPath("tp_faulting")), 1);
    EXPECT_NE(stderrText.find("The processing module stopped with a segmentation fault while processing."),
              std::string::npos)
        << stderrText;
    EXPECT_EQ(Files(), (std::vector<std::string>{"in.wav"}));
}

namespace {

// A file written with libsndfile: interleaved samples as floats with full scale at +-1.
void writeSound(const fs::path& file, int format, int channels, int rate, const std::vector<float>& samples)
{
    SF_INFO info{};
    info.format = format;
    info.channels = channels;
    info.samplerate = rate;
    SNDFILE* sound = sf_open(file.c_str(), SFM_WRITE, &info);
    ASSERT_NE(sound, nullptr) << sf_strerror(nullptr);
    sf_command(sound, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    sf_writef_float(sound, samples.data(), static_cast<sf_count_t>(samples.size()) / channels);
    sf_close(sound);
}

struct Sound {
    SF_INFO info{};
    std::vector<std::int16_t> samples;
};

Sound readSound(const fs::path& file)
{
    Sound sound;
    SNDFILE* in = sf_open(file.c_str(), SFM_READ, &sound.info);
    EXPECT_NE(in, nullptr) << file << ": " << sf_strerror(nullptr);
    if (!in)
        return sound;
    sound.samples.resize(static_cast<std::size_t>(sound.info.frames * sound.info.channels));
    sf_readf_short(in, sound.samples.data(), sound.info.frames);
    sf_close(in);
    return sound;
}

std::vector<float> asFloats(const std::vector<char>& bytes)
{
    std::vector<float> out(bytes.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i) {
        std::int16_t s = 0;
        std::memcpy(&s, bytes.data() + 2 * i, 2);
        out[i] = static_cast<float>(s) / 32768.0f;
    }
    return out;
}

// The library's own figures for 16-bit frames.
struct LibraryFigures {
    double integrated, range, truePeak;
};

LibraryFigures libraryFigures(const std::int16_t* samples, std::size_t frames, int channels, int rate)
{
    ebur128_state* state = ebur128_init(static_cast<unsigned>(channels), static_cast<unsigned long>(rate),
                                        EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK);
    ebur128_add_frames_short(state, samples, frames);
    LibraryFigures figures{};
    ebur128_loudness_global(state, &figures.integrated);
    ebur128_loudness_range(state, &figures.range);
    double peak = 0.0;
    for (int c = 0; c < channels; ++c) {
        double p = 0.0;
        ebur128_true_peak(state, static_cast<unsigned>(c), &p);
        peak = std::max(peak, p);
    }
    figures.truePeak = 20.0 * std::log10(peak);
    ebur128_destroy(&state);
    return figures;
}

// A number of the report: "key": value inside the object named part, or NaN for null.
double reported(const std::string& json, const std::string& part, const std::string& key)
{
    const std::size_t from = part.empty() ? 0 : json.find("\"" + part + "\"");
    std::smatch match;
    const std::string rest = json.substr(from == std::string::npos ? json.size() : from);
    if (!std::regex_search(rest, match, std::regex("\"" + key + "\": (null|-?[0-9.]+)")))
        return -999.0;
    return match[1] == "null" ? std::nan("") : std::stod(match[1]);
}

} // namespace

TEST_F(QexRenderTest, OtherFormatsAndRatesAreConvertedOnTheWayInAndFlacComesOut)
{
    // A lossless 16-bit 44.1 kHz FLAC takes the unconverted way: its samples are exactly the
    // module's processing of the input.
    const std::vector<char> input = programme(2, 44100, 3 * 44100 + 77);
    writeSound(folder / "in.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 44100, asFloats(input));
    ASSERT_EQ(Render(folder / "in.flac", folder / "out.flac"), 0) << stderrText;
    std::vector<char> expected = input;
    qextest::ModuleReference(QEX_MODULE_FILE).Process(expected, 2, 44100, 1024);
    const Sound flac = readSound(folder / "out.flac");
    EXPECT_EQ(flac.info.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    ASSERT_EQ(flac.samples.size() * 2, expected.size());
    EXPECT_EQ(std::memcmp(flac.samples.data(), expected.data(), expected.size()), 0);
    EXPECT_EQ(stdoutText.find("converted"), std::string::npos) << stdoutText;

    // A 48 kHz 24-bit WAV is resampled and dithered on the way in; the output is 44.1 kHz 16-bit
    // FLAC of the same length, whose name (".out") does not say its format: --format does.
    const std::vector<char> at48k = programme(2, 48000, 2 * 48000);
    writeSound(folder / "in48.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, 48000, asFloats(at48k));
    ASSERT_EQ(Render(folder / "in48.wav", folder / "out.out", QEX_MODULE_FILE, {"--format", "flac"}), 0) << stderrText;
    const Sound converted = readSound(folder / "out.out");
    EXPECT_EQ(converted.info.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    EXPECT_EQ(converted.info.samplerate, 44100);
    EXPECT_NEAR(static_cast<double>(converted.info.frames), 2 * 44100, 2);
    EXPECT_NE(
        stdoutText.find("input WAV (Microsoft), Signed 24 bit PCM, 48000 Hz, stereo, converted to 16-bit 44100 Hz"),
        std::string::npos)
        << stdoutText;

    // An 8 kHz file, below what the module processes, is brought up to 44.1 kHz first: the module
    // never sees a rate it would refuse and pass through untouched.
    const std::vector<char> at8k = programme(1, 8000, 8000);
    writeFile(folder / "in8.wav", wavFile(1, 1, 8000, 16, at8k, static_cast<unsigned>(at8k.size())));
    ASSERT_EQ(Render(folder / "in8.wav", folder / "out8.wav"), 0) << stderrText;
    const Sound upsampled = readSound(folder / "out8.wav");
    EXPECT_EQ(upsampled.info.samplerate, 44100);
    EXPECT_NEAR(static_cast<double>(upsampled.info.frames), 44100, 2);
    EXPECT_NE(stdoutText.find("8000 Hz, mono, converted to 16-bit 44100 Hz"), std::string::npos) << stdoutText;

    // A name that says no format, without --format, is refused before anything is written.
    EXPECT_EQ(Render(folder / "in.flac", folder / "out.xyz"), 2);
    EXPECT_NE(stderrText.find("out.xyz: not an output format this renderer writes; use --format with one of: "
                              "wav, flac, ogg, mp3, aiff"),
              std::string::npos)
        << stderrText;
    EXPECT_EQ(Files(), (std::vector<std::string>{"in.flac", "in48.wav", "in8.wav", "out.flac", "out.out", "out8.wav"}));
}

TEST_F(QexRenderTest, EveryRenderEndsWithALoudnessReportThatAgreesWithTheLibrary)
{
    const std::vector<char> input = programme(2, 44100, 10 * 44100);
    writeFile(folder / "in.wav", wavFile(1, 2, 44100, 16, input, static_cast<unsigned>(input.size())));
    ASSERT_EQ(Render(folder / "in.wav", folder / "out.wav", QEX_MODULE_FILE, {"--json"}), 0) << stderrText;
    const std::string json = stdoutText;
    EXPECT_EQ(std::count(json.begin(), json.end(), '\n'), 1) << "one JSON object, nothing else: " << json;

    const std::vector<std::int16_t> in = [&] {
        std::vector<std::int16_t> samples(input.size() / 2);
        std::memcpy(samples.data(), input.data(), input.size());
        return samples;
    }();
    const Sound out = readSound(folder / "out.wav");
    std::size_t clipped = 0;
    for (std::int16_t s : out.samples)
        clipped += std::abs(static_cast<int>(s)) >= 32760;
    for (const auto& [part, samples] : {std::pair{"input", &in}, std::pair{"output", &out.samples}}) {
        const LibraryFigures library = libraryFigures(samples->data(), samples->size() / 2, 2, 44100);
        EXPECT_NEAR(reported(json, part, "integrated_lufs"), library.integrated, 0.001) << part << ": " << json;
        EXPECT_NEAR(reported(json, part, "range_lu"), library.range, 0.001) << part;
        EXPECT_NEAR(reported(json, part, "true_peak_dbtp"), library.truePeak, 0.001) << part;
    }
    EXPECT_NEAR(reported(json, "", "clipped_share"), static_cast<double>(clipped) / out.samples.size(), 1e-6);
    EXPECT_NE(reported(json, "input", "integrated_lufs"), reported(json, "output", "integrated_lufs"))
        << "the processing changes the loudness";

    // The operator's table, and silence shown as a dash (null for scripts).
    ASSERT_EQ(Render(folder / "in.wav", folder / "out.wav"), 0) << stderrText;
    EXPECT_NE(stdoutText.find("Integrated (LUFS)"), std::string::npos) << stdoutText;
    EXPECT_NE(stdoutText.find("True peak (dBTP)"), std::string::npos);
    EXPECT_NE(stdoutText.find("At clip level"), std::string::npos);
    const std::vector<char> silence(4 * 44100 * 2, 0);
    writeFile(folder / "silence.wav", wavFile(1, 2, 44100, 16, silence, static_cast<unsigned>(silence.size())));
    ASSERT_EQ(Render(folder / "silence.wav", folder / "out.wav", QEX_MODULE_FILE, {"--json"}), 0) << stderrText;
    EXPECT_TRUE(std::isnan(reported(stdoutText, "input", "integrated_lufs"))) << stdoutText;
    EXPECT_TRUE(std::isnan(reported(stdoutText, "input", "true_peak_dbtp"))) << stdoutText;
    ASSERT_EQ(Render(folder / "silence.wav", folder / "out.wav"), 0) << stderrText;
    EXPECT_NE(stdoutText.find("Integrated (LUFS)            \u2014"), std::string::npos) << stdoutText;
}

TEST_F(QexRenderTest, TheSelfTestProvesTheOnAirPresetWithPreEmphasisFmSafe)
{
    // No presets beside the renderer: the module's defaults, with pre-emphasis switched on.
    EXPECT_EQ(Run({"--selftest"}), 0) << stdoutText << stderrText;
    EXPECT_NE(stdoutText.find("FM-protection self-test: preset \"DEFAULT\" with pre-emphasis on"), std::string::npos)
        << stdoutText;
    EXPECT_NE(stdoutText.find("FM protection: PASS"), std::string::npos) << stdoutText;
    EXPECT_EQ(stdoutText.find("FAIL"), std::string::npos) << stdoutText;
}
