// qex-render as a user runs it: a generated WAV file in, the module's processing of it out;
// files it cannot process refused with a clear message, an existing output left alone.

#include "module_reference.h"

#include "platform/wave/test_signal.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/wait.h>

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

    // Runs the renderer; returns its exit code and keeps what it said on stderr. The renderer runs
    // as a copy beside this test binary (itself a copy in a temporary folder), where it keeps the
    // module's settings as the program would.
    int Render(const fs::path& input, const fs::path& output, const std::string& module = QEX_MODULE_FILE)
    {
        const fs::path renderer = fs::read_symlink("/proc/self/exe").parent_path() / fs::path(QEX_RENDER).filename();
        if (!fs::exists(renderer))
            fs::copy_file(QEX_RENDER, renderer);
        const fs::path messages = folder / "stderr.txt";
        const std::string command = std::string("'") + renderer.string() + "' --module '" + module + "' '" + input.string() +
                                    "' '" + output.string() + "' >/dev/null 2>'" + messages.string() + "'";
        const int status = std::system(command.c_str());
        const std::vector<char> text = readFile(messages);
        stderrText.assign(text.begin(), text.end());
        fs::remove(messages);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
};

} // namespace

TEST_F(QexRenderTest, AGeneratedFileComesOutAsTheModulesProcessingOfIt)
{
    for (const auto& [channels, rate] : {std::pair{2u, 44100u}, std::pair{1u, 48000u}}) {
        // Not a whole number of buffers, so the last one is short.
        const std::vector<char> input = programme(channels, rate, 2 * rate + 333);
        writeFile(folder / "in.wav", wavFile(1, channels, rate, 16, input, static_cast<unsigned>(input.size())));
        ASSERT_EQ(Render(folder / "in.wav", folder / "out.wav"), 0) << stderrText;

        std::vector<char> expected = input;
        qextest::ModuleReference(QEX_MODULE_FILE).Process(expected, static_cast<int>(channels), static_cast<int>(rate),
                                                          static_cast<int>(4096 / (channels * 2)));
        EXPECT_EQ(readFile(folder / "out.wav"), wavFile(1, channels, rate, 16, expected, static_cast<unsigned>(expected.size())))
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
    const Case cases[] = {
        {{'h', 'e', 'l', 'l', 'o', '\n'}, "not a RIFF/WAVE file"},
        {wavFile(3, 2, 44100, 32, samples, static_cast<unsigned>(samples.size())), "not PCM audio (format tag 3)"},
        {wavFile(1, 2, 44100, 8, samples, static_cast<unsigned>(samples.size())), "8-bit samples; only 16-bit PCM is processed"},
        {wavFile(1, 2, 44100, 16, samples, static_cast<unsigned>(samples.size()) * 2), "truncated"},
        {cutShort, "truncated"},
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
    EXPECT_NE(stderrText.find("missing.so: not a processing module that can be loaded"), std::string::npos) << stderrText;
    EXPECT_EQ(Files(), (std::vector<std::string>{"in.wav"}));
}
