// The ALSA backend against ALSA's own PCMs, on any machine, sound card or not: a private
// configuration in a temporary HOME defines a capture PCM that reads a file and a playback PCM
// that writes one, both over the "null" PCM (which is not paced: data moves as fast as the
// chain takes it).

#include "engine_test_support.h"

#include "dsp_plugin.h"
#include "dsp_thread.h"
#include "engine_notice.h"
#include "ring_buffer.h"
#include "wave_in.h"
#include "wave_out.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/inotify.h>
#include <unistd.h>

using namespace qextest;
namespace wave = qex::platform::wave;

namespace {

constexpr int kBufferBytes = 4096;
constexpr int kInputBlocks = 32;
const char* const kInputName = "QEX test input";
const char* const kOutputName = "QEX test output";
const char* const kFullOutputName = "QEX output to a full disk";
const char* const kGoneInputName = "QEX input whose file is gone";

std::filesystem::path testFolder;

// Runs before ALSA reads its configuration for the first time in this process.
class AlsaConfiguration : public ::testing::Environment {
public:
    void SetUp() override
    {
        char pattern[] = "/tmp/qex-alsa-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        testFolder = pattern;
        const std::vector<char> input = patternBytes(0, kInputBlocks * kBufferBytes);
        std::ofstream(testFolder / "in.raw", std::ios::binary)
            .write(input.data(), static_cast<std::streamsize>(input.size()));
        std::ofstream(testFolder / ".asoundrc") << "pcm.qex_test_in {\n"
                                                   "  type file\n  slave.pcm \"null\"\n  file \"/dev/null\"\n"
                                                   "  infile \""
                                                << (testFolder / "in.raw").string()
                                                << "\"\n"
                                                   "  format \"raw\"\n"
                                                   "  hint { show on description \""
                                                << kInputName
                                                << "\" }\n}\n"
                                                   "pcm.qex_test_out {\n"
                                                   "  type file\n  slave.pcm \"null\"\n"
                                                   "  file \""
                                                << (testFolder / "out.raw").string()
                                                << "\"\n"
                                                   "  format \"raw\"\n"
                                                   "  hint { show on description \""
                                                << kOutputName
                                                << "\" }\n}\n"
                                                   // Writing fails with an error that is no xrun.
                                                   "pcm.qex_test_full {\n"
                                                   "  type file\n  slave.pcm \"null\"\n  file \"/dev/full\"\n"
                                                   "  format \"raw\"\n"
                                                   "  hint { show on description \""
                                                << kFullOutputName
                                                << "\" }\n}\n"
                                                   // Cannot be opened: its input file does not exist.
                                                   "pcm.qex_test_gone_in {\n"
                                                   "  type file\n  slave.pcm \"null\"\n  file \"/dev/null\"\n"
                                                   "  infile \""
                                                << (testFolder / "gone" / "in.raw").string()
                                                << "\"\n"
                                                   "  format \"raw\"\n"
                                                   "  hint { show on description \""
                                                << kGoneInputName << "\" }\n}\n";
        ::setenv("HOME", testFolder.c_str(), 1);
        ::unsetenv("ALSA_CONFIG_PATH");
    }

    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(testFolder, ignored);
    }
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new AlsaConfiguration);

std::vector<char> readFile(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Counts the times a file is opened, from the moment it exists.
class FileOpens {
public:
    explicit FileOpens(const std::filesystem::path& file) : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        EXPECT_GE(::inotify_add_watch(fd_, file.c_str(), IN_OPEN), 0);
    }
    ~FileOpens() { ::close(fd_); }
    FileOpens(const FileOpens&) = delete;
    FileOpens& operator=(const FileOpens&) = delete;

    // Opens since the last call.
    int Take()
    {
        int opens = 0;
        alignas(inotify_event) char events[4096];
        ssize_t n;
        while ((n = ::read(fd_, events, sizeof events)) > 0)
            for (char* at = events; at < events + n;
                 at += sizeof(inotify_event) + reinterpret_cast<inotify_event*>(at)->len)
                opens += (reinterpret_cast<inotify_event*>(at)->mask & IN_OPEN) != 0;
        return opens;
    }

private:
    int fd_;
};

class AlsaChainTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        qex::platform::installMainThreadDispatcher(&dispatcher);
        inputId = wave::waveFindDevice(WaveDirection::Input, kInputName);
        outputId = wave::waveFindDevice(WaveDirection::Output, kOutputName);
        ASSERT_GE(inputId, 0);
        ASSERT_GE(outputId, 0);
    }

    void TearDown() override
    {
        dispatcher.pump();
        qex::platform::installMainThreadDispatcher(nullptr);
    }

    qex::platform::MainThreadDispatcher dispatcher;
    int inputId = -2;
    int outputId = -2;
};

} // namespace

TEST_F(AlsaChainTest, ThePcmsOfTheHintsAreListedByDescriptionBeforeTheVirtualDevices)
{
    EXPECT_EQ(wave::waveFindDevice(WaveDirection::Input, wave::kTestSignalInputName),
              wave::waveGetNumDevs(WaveDirection::Input) - 1);
    EXPECT_EQ(wave::waveFindDevice(WaveDirection::Output, wave::kSilentOutputName),
              wave::waveGetNumDevs(WaveDirection::Output) - 1);
    wave::WaveCaps caps;
    ASSERT_EQ(wave::waveGetDevCaps(WaveDirection::Input, -1, caps, wave::WaveCapsDetail::Listed), wave::kWaveNoError);
    EXPECT_FALSE(caps.ProductName.empty()) << "the default device has a name of its own";
    EXPECT_EQ(wave::waveGetDevCaps(WaveDirection::Input, wave::waveGetNumDevs(WaveDirection::Input), caps,
                                   wave::WaveCapsDetail::Listed),
              wave::kWaveErrBadDeviceId);
}

TEST_F(AlsaChainTest, CapabilitiesComeFromWhatThePcmAccepts)
{
    wave::WaveCaps caps;
    ASSERT_EQ(wave::waveGetDevCaps(WaveDirection::Input, inputId, caps, wave::WaveCapsDetail::Probed),
              wave::kWaveNoError);
    EXPECT_EQ(caps.ProductName, kInputName);
    EXPECT_NE(caps.Formats & wave::kFormat4S16, 0u);
    EXPECT_NE(caps.Formats & wave::kFormat1M08, 0u);
    EXPECT_GE(caps.Channels, 2);
}

TEST_F(AlsaChainTest, OpensForCdFormatAndClosesCleanly)
{
    TMMWaveIn wi;
    TMMWaveOut wo;
    const TWaveFormatEx format = cdFormat();
    wi.SetWaveFormat(&format);
    wo.SetWaveFormat(&format);
    wi.SetDeviceID(inputId);
    wo.SetDeviceID(outputId);
    EXPECT_EQ(wi.GetProductName(), kInputName);
    EXPECT_EQ(wo.GetProductName(), kOutputName);
    wi.SetCallBackMode(TMMCBMode::cmThread);
    wo.SetCallBackMode(TMMCBMode::cmThread);
    for (int cycle = 0; cycle < 2; ++cycle) {
        wi.Open();
        wo.Open();
        EXPECT_TRUE(wi.DeviceOpen());
        EXPECT_TRUE(wo.DeviceOpen());
        wi.Close();
        wo.Close();
        EXPECT_FALSE(wi.DeviceOpen());
        EXPECT_FALSE(wo.DeviceOpen());
        EXPECT_EQ(dspThreadCount(), 0);
    }
}

TEST_F(AlsaChainTest, DataFromTheInputFileReachesTheOutputFileThroughTheChain)
{
    TMMWaveIn wi;
    TMMRingBuffer ring;
    TMMDSPPlugin host; // no module: buffers pass through
    TMMWaveOut wo;
    const TWaveFormatEx format = cdFormat();
    wi.SetWaveFormat(&format);
    wi.SetBufferSize(kBufferBytes);
    wi.SetNumBuffers(8);
    wi.SetDeviceID(inputId);
    wi.SetCallBackMode(TMMCBMode::cmThread);
    ring.SetNumBuffers(16);
    ring.SetQueueMode(TMMQueueMode::qmDuplex);
    wo.SetNumBuffers(8);
    wo.SetDeviceID(outputId);
    wo.SetCallBackMode(TMMCBMode::cmThread);
    wi.SetOutput(&ring);
    ring.SetOutput(&host);
    host.SetOutput(&wo);
    std::atomic<int> pushes{0};
    wi.OnBufferReady = [&](TMMDSPComponent*, TMMWaveHdr*) { ++pushes; };

    wi.Open();
    wi.Start();
    // Past the end of the file the capture delivers silence.
    ASSERT_TRUE(pumpUntil(dispatcher, [&] { return pushes.load() >= kInputBlocks + 8; }));
    wi.Stop();
    wi.Close();
    EXPECT_FALSE(wo.DeviceOpen());
    EXPECT_EQ(dspThreadCount(), 0);

    // The output file holds whole buffers: silence (priming, underruns) or input buffers, in
    // their order, none of them torn. What ALSA still held when the output stopped is dropped,
    // so the file may end inside a buffer.
    const std::vector<char> input = readFile(testFolder / "in.raw");
    const std::vector<char> output = readFile(testFolder / "out.raw");
    const std::vector<char> silence(kBufferBytes, 0);
    int next = 0, arrived = 0;
    for (std::size_t at = 0; at + kBufferBytes <= output.size(); at += kBufferBytes) {
        const auto block = output.begin() + static_cast<std::ptrdiff_t>(at);
        if (std::equal(block, block + kBufferBytes, silence.begin()))
            continue;
        int found = -1;
        for (int i = next; i < kInputBlocks && found < 0; ++i)
            if (std::equal(block, block + kBufferBytes, input.begin() + static_cast<std::ptrdiff_t>(i) * kBufferBytes))
                found = i;
        ASSERT_GE(found, 0) << "output block " << at / kBufferBytes << " is no later input block";
        next = found + 1;
        ++arrived;
    }
    EXPECT_GT(arrived, 0);
}

TEST_F(AlsaChainTest, AnOutputThatFailsForGoodIsReportedWithAlsasTextAndClosed)
{
    const int fullOutputId = wave::waveFindDevice(WaveDirection::Output, kFullOutputName);
    ASSERT_GE(fullOutputId, 0);
    Notices notices;
    TMMWaveIn wi;
    TMMRingBuffer ring;
    TMMDSPPlugin host;
    TMMWaveOut wo;
    const TWaveFormatEx format = cdFormat();
    wi.SetWaveFormat(&format);
    wi.SetBufferSize(kBufferBytes);
    wi.SetDeviceID(inputId);
    wi.SetCallBackMode(TMMCBMode::cmThread);
    ring.SetNumBuffers(16);
    ring.SetQueueMode(TMMQueueMode::qmDuplex);
    wo.SetDeviceID(fullOutputId);
    wo.SetCallBackMode(TMMCBMode::cmThread);
    wi.SetOutput(&ring);
    ring.SetOutput(&host);
    host.SetOutput(&wo);

    wi.Open();
    wi.Start();
    ASSERT_TRUE(pumpUntil(dispatcher, [&] { return notices.Count() > 0 && !wo.DeviceOpen(); }));
    EXPECT_EQ(notices.Count(), 1u);
    EXPECT_EQ(notices.Seen()[0].kind, TMMNoticeKind::Error);
    EXPECT_EQ(notices.Seen()[0].text, "WaveOutWrite:\n\rInput/output error");
    wi.Stop();
    wi.Close();
    EXPECT_EQ(dspThreadCount(), 0);
}

TEST_F(AlsaChainTest, SelectingADeviceDoesNotOpenItOnlyTheFormatCheckDoes)
{
    TMMWaveIn wi;
    const TWaveFormatEx format = cdFormat();
    wi.SetWaveFormat(&format);
    wi.SetCallBackMode(TMMCBMode::cmThread);
    FileOpens opens(testFolder / "in.raw");
    // As the settings panel lists the devices, and as the settings select one.
    for (int id = MapperId; id < wi.DeviceCount(); ++id)
        wi.SetDeviceID(id);
    wi.SetDeviceID(inputId);
    EXPECT_EQ(wi.GetProductName(), kInputName);
    EXPECT_EQ(opens.Take(), 0);
    wi.Open();
    EXPECT_GT(opens.Take(), 0) << "opening checks the format with the device";
    wi.Close();
}

TEST_F(AlsaChainTest, ADeviceThatCannotBeOpenedSaysWhyInAlsasWords)
{
    TMMWaveIn wi;
    const TWaveFormatEx format = cdFormat();
    wi.SetWaveFormat(&format);
    wi.SetCallBackMode(TMMCBMode::cmThread);
    wi.SetDeviceID(wave::waveFindDevice(WaveDirection::Input, kGoneInputName));
    EXPECT_EQ(wi.GetProductName(), kGoneInputName) << "its name comes from the device list";
    std::string text;
    try {
        wi.Open();
    } catch (const EMMWaveInError& error) {
        text = error.what();
    }
    EXPECT_EQ(text, "WaveInOpen:\n\rNo such file or directory");
    EXPECT_FALSE(wi.DeviceOpen());
}
