#include "engine_test_support.h"
#include "module_reference.h"

#include "dsp_plugin.h"
#include "errors.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <csignal>

using namespace qextest;

namespace {

constexpr std::uint32_t kBuffer = 4096;

std::vector<char> processed(std::vector<char> bytes)
{
    auto* samples = reinterpret_cast<short*>(bytes.data());
    for (std::size_t i = 0; i < bytes.size() / 2; ++i)
        samples[i] = testPluginProcess(samples[i]);
    return bytes;
}

// Remembers the rounding mode each upstream pull finds.
class RoundingProbe : public PatternSource {
public:
    void BufferLoad(TMMWaveHdr* lpWaveHdr, bool& moreBuffers) override
    {
        modes.push_back(std::fegetround());
        PatternSource::BufferLoad(lpWaveHdr, moreBuffers);
    }
    std::vector<int> modes;
};

class DSPPluginTest : public ::testing::Test {
protected:
    void SetUp() override { Link(source); }

    void Link(PatternSource& head)
    {
        const TWaveFormatEx format = cdFormat();
        head.SetWaveFormat(&format);
        head.SetOutput(&host);
        host.SetOutput(&sink);
        host.SetBufferSize(kBuffer);
    }

    // Load, open, select and start, as the main window does it.
    void StartWith(const std::string& path)
    {
        ASSERT_TRUE(host.LoadModuleFile(path));
        host.OpenModules();
        host.SelectModule(0);
        host.Open();
        host.InitModule();
        host.Start();
    }

    // One request of the output's kind.
    std::vector<char> Pull(std::uint32_t wanted = kBuffer, bool* more = nullptr)
    {
        std::vector<char> bytes(wanted, 'x');
        TMMWaveHdr header{};
        header.Data = bytes.data();
        header.BufferLength = wanted;
        bool moreBuffers = false;
        host.BufferLoad(&header, moreBuffers);
        if (more)
            *more = moreBuffers;
        bytes.resize(header.BytesRecorded);
        return bytes;
    }

    PatternSource source;
    TMMDSPPlugin host;
    BufferSink sink;
};

template <typename Action>
std::string errorText(Action action)
{
    try {
        action();
    } catch (const EMMPlugInError& error) {
        return error.what();
    }
    return "(no error)";
}

} // namespace

TEST_F(DSPPluginTest, HeadersAreAcceptedFromVersion16)
{
    TestPlugin v15("tp_version15");
    EXPECT_FALSE(host.LoadModuleFile(v15.path));
    EXPECT_FALSE(host.IsLoaded());

    TestPlugin v16("tp_published");
    ASSERT_TRUE(host.LoadModuleFile(v16.path));
    EXPECT_EQ(host.Description(), "Test plug-in");
    EXPECT_EQ(host.ModuleCount(), 1);
    EXPECT_EQ(host.ModuleName(0), "Test module");
    EXPECT_EQ(v16.control->initCalls, 0) << "building the table initialises nothing";
}

TEST_F(DSPPluginTest, LibrariesWithoutAnEntryOrFileLeaveNoTable)
{
    EXPECT_FALSE(host.LoadModuleFile(testPluginPath("tp_none")));
    EXPECT_FALSE(host.LoadModuleFile(testPluginPath("no_such_plugin")));
    EXPECT_FALSE(host.IsLoaded());
}

TEST_F(DSPPluginTest, AHeaderOffering150ModulesGivesATableOf100)
{
    TestPlugin many("tp_many");
    ASSERT_TRUE(host.LoadModuleFile(many.path));
    EXPECT_EQ(host.ModuleCount(), 100);
    EXPECT_NO_THROW(host.SelectModule(99));
    EXPECT_EQ(errorText([&] { host.SelectModule(100); }), "Invalid Module index");
}

TEST_F(DSPPluginTest, SelectingAModuleNeedsATableAndAValidIndex)
{
    EXPECT_EQ(errorText([&] { host.SelectModule(0); }), "Invalid Module index");
    TestPlugin plugin("tp_published");
    ASSERT_TRUE(host.LoadModuleFile(plugin.path));
    EXPECT_EQ(errorText([&] { host.SelectModule(1); }), "Invalid Module index");
    EXPECT_EQ(errorText([&] { host.SelectModule(-1); }), "Invalid Module index");
    EXPECT_NO_THROW(host.SelectModule(0));
}

TEST_F(DSPPluginTest, TheFirstEntryNameFoundDecidesTheModuleKind)
{
    TestPlugin both("tp_both");
    StartWith(both.path);
    EXPECT_EQ(both.control->engineRate, 44100u);
    EXPECT_EQ(both.control->engineChannels, 2u);
    EXPECT_EQ(both.control->engineFrames, kBuffer / 4);
    EXPECT_EQ(Pull(), processed(patternBytes(0, kBuffer)));
    EXPECT_EQ(both.control->processCalls, 1);
    EXPECT_EQ(both.control->lastFrames, 0) << "the published entry was never called";
}

TEST_F(DSPPluginTest, InitRunsOncePerLoad)
{
    TestPlugin plugin("tp_published");
    StartWith(plugin.path);
    host.Stop();
    host.InitModule();
    host.Start();
    EXPECT_EQ(plugin.control->initCalls, 1) << "later starts only restart";

    host.UnloadModules();
    EXPECT_EQ(plugin.control->quitCalls, 1);
    EXPECT_FALSE(host.IsLoaded());
    host.Close();
    StartWith(plugin.path);
    EXPECT_EQ(plugin.control->initCalls, 2) << "a new load initialises again";
}

TEST_F(DSPPluginTest, AnInitThatFailsIsReported)
{
    TestPlugin plugin("tp_published");
    plugin.control->initResult = 1;
    ASSERT_TRUE(host.LoadModuleFile(plugin.path));
    host.Open();
    EXPECT_EQ(errorText([&] { host.InitModule(); }), "Unable to initialise Module");
}

TEST_F(DSPPluginTest, TheEngineKindIsGivenTheStreamAndPrimedAgainAtEachRestart)
{
    TestPlugin plugin("tp_engine");
    StartWith(plugin.path);
    const int afterStart = plugin.control->initCalls;
    EXPECT_GE(afterStart, 1);
    EXPECT_EQ(plugin.control->engineFrames, kBuffer / 4);
    host.RestartModule();
    EXPECT_EQ(plugin.control->initCalls, afterStart + 1);
    EXPECT_EQ(Pull(), processed(patternBytes(0, kBuffer)));
}

TEST_F(DSPPluginTest, ThePublishedKindGetsFramesAndFormat)
{
    TestPlugin plugin("tp_published");
    StartWith(plugin.path);
    bool more = false;
    EXPECT_EQ(Pull(kBuffer, &more), processed(patternBytes(0, kBuffer)));
    EXPECT_TRUE(more);
    EXPECT_EQ(plugin.control->lastFrames, 1024);
    EXPECT_EQ(plugin.control->lastBits, 16);
    EXPECT_EQ(plugin.control->lastChannels, 2);
    EXPECT_EQ(plugin.control->lastRate, 44100);
}

TEST_F(DSPPluginTest, AModuleReturningFewerFramesMakesTheHostPullAgain)
{
    TestPlugin plugin("tp_published");
    plugin.control->returnDenominator = 2;
    StartWith(plugin.path);
    std::vector<char> expected = processed(patternBytes(0, kBuffer / 2));
    const std::vector<char> second = processed(patternBytes(kBuffer, kBuffer / 2));
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(Pull(), expected);
    EXPECT_EQ(source.Pulls(), 2);
}

TEST_F(DSPPluginTest, ExtraFramesAreHeldForTheNextRequestAndSurviveABypass)
{
    TestPlugin plugin("tp_published");
    plugin.control->returnNumerator = 2;
    StartWith(plugin.path);
    const std::vector<char> first = processed(patternBytes(0, kBuffer));
    EXPECT_EQ(Pull(), first);

    host.SetEnabled(false);
    EXPECT_EQ(Pull(), patternBytes(kBuffer, kBuffer)) << "bypassed: the bytes pass through unchanged";
    EXPECT_EQ(plugin.control->processCalls, 1);

    host.SetEnabled(true);
    EXPECT_EQ(Pull(), first) << "the processed bytes still held come first";
    EXPECT_EQ(source.Pulls(), 2);
}

TEST_F(DSPPluginTest, OnlySixteenBitPcmIsAccepted)
{
    const TWaveFormatEx eightBit = pcmWaveFormat(8, 2, 44100);
    EXPECT_EQ(errorText([&] { host.SetWaveFormat(&eightBit); }), "Invalid WaveFormat");
    TWaveFormatEx compressed = cdFormat();
    compressed.FormatTag = 3;
    EXPECT_EQ(errorText([&] { host.SetWaveFormat(&compressed); }), "Invalid WaveFormat");
    EXPECT_EQ(errorText([&] { source.SetWaveFormat(&eightBit); }), "Invalid WaveFormat")
        << "refused as it travels down";
    EXPECT_NO_THROW(host.SetWaveFormat(nullptr));
}

TEST_F(DSPPluginTest, WithoutATableEverythingPassesThrough)
{
    host.Open();
    EXPECT_NO_THROW(host.OpenModules());
    EXPECT_NO_THROW(host.InitModule());
    EXPECT_NO_THROW(host.RestartModule());
    EXPECT_NO_THROW(host.ConfigModule());
    host.Start();
    EXPECT_EQ(Pull(), patternBytes(0, kBuffer));
}

TEST_F(DSPPluginTest, PushedBuffersAreProcessedInPlace)
{
    TestPlugin plugin("tp_published");
    plugin.control->returnDenominator = 2;
    StartWith(plugin.path);
    std::vector<char> data = patternBytes(0, kBuffer);
    TMMWaveHdr header{};
    header.Data = data.data();
    header.BufferLength = header.BytesRecorded = kBuffer;
    host.BufferReady(&header);
    EXPECT_EQ(sink.Bytes(), processed(patternBytes(0, kBuffer / 2)));
}

TEST_F(DSPPluginTest, AfterAModuleFaultTheAudioGoesOnUnprocessedUntilTheModuleIsLoadedAgain)
{
    struct Case {
        const char* what;
        int fault, signal;
    };
    for (const Case c : {Case{"a null write", kNullWrite, SIGSEGV}, Case{"a division by zero", kDivisionByZero, SIGFPE},
                         Case{"an exception", 0, -1}}) {
        SCOPED_TRACE(c.what);
        qex::platform::MainThreadDispatcher dispatcher;
        qex::platform::installMainThreadDispatcher(&dispatcher);
        Notices notices;
        TestPlugin plugin("tp_faulting");
        plugin.control->faultOnProcess = c.fault;
        plugin.control->throwOnProcess = c.fault == 0;
        StartWith(plugin.path);
        std::uint64_t next = source.Produced();
        EXPECT_EQ(Pull(), patternBytes(next, kBuffer)) << "not silence";
        EXPECT_EQ(host.ModuleFault(), c.signal);
        plugin.control->faultOnProcess = plugin.control->throwOnProcess = 0;
        next = source.Produced();
        EXPECT_EQ(Pull(), patternBytes(next, kBuffer));
        EXPECT_EQ(plugin.control->processCalls, 1) << "the module was called again";

        dispatcher.pump();
        ASSERT_EQ(notices.Count(), 1u);
        EXPECT_EQ(notices.Seen()[0].text,
                  ModuleFaultText(c.signal) +
                      " The audio goes on unprocessed; stop and start "
                      "processing to load the module again.");
        EXPECT_NE(notices.Seen()[0].text.find(c.signal == SIGSEGV      ? "segmentation fault"
                                                  : c.signal == SIGFPE ? "arithmetic fault"
                                                                       : "an error"),
                  std::string::npos);

        // Stop and Start load it afresh.
        host.Stop();
        host.InitModule();
        host.Start();
        EXPECT_EQ(host.ModuleFault(), 0);
        EXPECT_EQ(plugin.control->quitCalls, 1);
        EXPECT_EQ(plugin.control->initCalls, 2);
        next = source.Produced();
        EXPECT_EQ(Pull(), processed(patternBytes(next, kBuffer)));
        host.UnloadModules();
    }
}

TEST_F(DSPPluginTest, FaultsInInitConfigAndQuitAreTheirCallsFailures)
{
    TestPlugin plugin("tp_faulting");
    plugin.control->faultOnProcess = 0;
    plugin.control->faultOnInit = kNullWrite;
    ASSERT_TRUE(host.LoadModuleFile(plugin.path));
    host.OpenModules();
    host.SelectModule(0);
    host.Open();
    EXPECT_EQ(errorText([&] { host.InitModule(); }), "Unable to initialise Module");

    plugin.control->faultOnInit = 0;
    host.InitModule();
    host.Start();
    plugin.control->faultOnConfig = kDivisionByZero;
    host.ConfigModule();
    EXPECT_EQ(plugin.control->configCalls, 1);
    EXPECT_EQ(host.ModuleFault(), 0) << "a panel that fails is no processing fault";
    EXPECT_EQ(Pull(), processed(patternBytes(0, kBuffer)));
    plugin.control->faultOnQuit = kNullWrite;
    EXPECT_NO_THROW(host.UnloadModules());
    EXPECT_EQ(plugin.control->quitCalls, 1);
}

TEST_F(DSPPluginTest, EveryUpstreamPullStartsFromTheDefaultFloatingPointEnvironment)
{
    RoundingProbe probe;
    Link(probe);
    TestPlugin plugin("tp_published");
    plugin.control->leaveRoundingUpward = 1;
    plugin.control->returnDenominator = 2;
    StartWith(plugin.path);
    Pull();
    Pull();
    std::fesetround(FE_TONEAREST);
    ASSERT_EQ(probe.modes.size(), 4u);
    for (int mode : probe.modes)
        EXPECT_EQ(mode, FE_TONEAREST);
}

TEST_F(DSPPluginTest, ConfigIsCalledAndShutDownFaultsAreSwallowed)
{
    TestPlugin plugin("tp_published");
    StartWith(plugin.path);
    host.ConfigModule();
    EXPECT_EQ(plugin.control->configCalls, 1);
    plugin.control->throwOnQuit = 1;
    EXPECT_NO_THROW(host.UnloadModules());
    EXPECT_EQ(plugin.control->quitCalls, 1);
}

TEST_F(DSPPluginTest, TheProcessingModuleProcessesEveryBuffer)
{
    ASSERT_TRUE(host.LoadModuleFile(QEX_MODULE_FILE));
    EXPECT_EQ(host.Description(), "QEX");
    ASSERT_EQ(host.ModuleCount(), 1);
    EXPECT_EQ(host.ModuleName(0), "QEX");
    host.OpenModules();
    host.SelectModule(0);
    host.Open();
    host.InitModule();
    host.Start();
    std::vector<char> output;
    for (int i = 0; i < 16; ++i) {
        const std::vector<char> bytes = Pull();
        ASSERT_EQ(bytes.size(), kBuffer);
        output.insert(output.end(), bytes.begin(), bytes.end());
    }
    host.UnloadModules();

    std::vector<char> expected = patternBytes(0, 16 * kBuffer);
    ModuleReference(QEX_MODULE_FILE).Process(expected, 2, 44100, kBuffer / 4);
    EXPECT_EQ(output, expected);
}
