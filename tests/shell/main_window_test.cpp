// The main window driven as the operator drives it: first start, changed devices, Start, Stop,
// Bypass, Parameters, Exit, the audio settings panel, the settings file and access control.

#include "isolated_run.h"
#include "modal_script.h"
#include "temp_folder.h"
#include "window_harness.h"

#include "security/password_hash.h"
#include "security/security_schema.h"
#include "startup.h"

#include "platform/profile.h"
#include "platform/wave/wave_service.h"
#include "test_plugin_control.h"

#include "widgets/level_view.h"
#include "widgets/loudness_view.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSlider>
#include <QToolButton>
#include <gtest/gtest.h>

#include <QAction>

#include <deque>
#include <dlfcn.h>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using qex::platform::IniFile;

namespace {

// An installation: the program's folder, its system folder and a runtime folder.
struct Installation {
    TempFolder root;
    fs::path app = root.path() / "app";
    fs::path sys = root.path() / "sys";

    Installation()
    {
        fs::create_directories(app);
        fs::create_directories(sys);
        fs::create_directories(root.path() / "run");
    }

    void writeSettings(const std::string& text) const { std::ofstream(app / "qex.ini") << text; }

    // Puts a module that counts the calls it gets where the program looks for its module.
    void useCountingModule() const
    {
        fs::copy_file(fs::path(QEX_TEST_PLUGIN_DIR) / "tp_published.so", sys / "qexdsp.so");
    }

    IniFile settings() const { return IniFile(app / "qex.ini"); }

    // The device keys of the "Devices" section selecting a virtual device by its identifier and
    // name on this machine.
    static std::string virtualDeviceKeys(qex::platform::wave::WaveDirection direction)
    {
        namespace wave = qex::platform::wave;
        const bool input = direction == wave::WaveDirection::Input;
        const char* name = input ? wave::kTestSignalInputName : wave::kSilentOutputName;
        const int id = wave::waveFindDevice(direction, name);
        const std::string side = input ? "Input" : "Output";
        return side + " device=" + std::to_string(id) + "\n" + side + " device name=" + name + "\n";
    }
    static std::string virtualDeviceKeys()
    {
        return virtualDeviceKeys(qex::platform::wave::WaveDirection::Input) +
            virtualDeviceKeys(qex::platform::wave::WaveDirection::Output);
    }

    // ALSA's default device as on a machine with a sound card (it opens) or without one.
    void useAlsaDefault(bool opens)
    {
        const fs::path config = root.path() / "asound.conf";
        std::ofstream(config) << (opens ? "pcm.!default {\n  type null\n}\n" : "\n");
        environment.emplace_back("ALSA_CONFIG_PATH", config.string());
    }

    // Runs the current test's child half with this installation, started from the program's
    // folder or from another working folder.
    void runChild(const fs::path& workingFolder = {}) const
    {
        auto childEnvironment = environment;
        childEnvironment.emplace_back("QEX_SYSTEM_DIR", sys.string());
        childEnvironment.emplace_back("XDG_RUNTIME_DIR", (root.path() / "run").string());
        const auto result = isolated::runCurrentTestIn(app, childEnvironment, workingFolder);
        EXPECT_EQ(result.exitCode, 0) << result.output;
    }

    std::vector<std::pair<std::string, std::string>> environment;
};

// The counters of the counting module the window has loaded.
TestPluginControl& countingModule()
{
    void* library = ::dlopen((fs::path(std::getenv("QEX_SYSTEM_DIR")) / "qexdsp.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
    EXPECT_NE(library, nullptr) << "the window has not loaded the module";
    return *static_cast<TestPluginControl*>(::dlsym(library, "qex_test_plugin"));
}

// A value of the program's settings file as it is on disk now.
std::string onDisk(const char* section, const char* key)
{
    return IniFile(AppFolder() + "qex.ini").readString(section, key, "<missing>");
}

const ModalAnswerer::Seen* findSeen(const ModalAnswerer& answerer, const QString& text)
{
    for (const auto& seen : answerer.seen())
        if (seen.text == text)
            return &seen;
    return nullptr;
}

} // namespace

TEST(MainWindow, FirstStartWithoutSettingsRunsOnTheDesignValues)
{
    if (isolated::inChild()) {
        QApplication app(testArgc(), testArgv());
        WindowHarness harness;
        TfrmQEX& w = harness.window();
        EXPECT_EQ(harness.operatorStandIn().count(), 0);
        EXPECT_EQ(w.windowTitle(), "Lumavox QEX");
        EXPECT_GE(w.width(), 799);
        EXPECT_EQ(w.lblUser->text(), "Security disabled");
        EXPECT_EQ(w.gbSetup->cbInput->currentIndex(), 0);
        EXPECT_EQ(w.gbSetup->cbOutput->currentIndex(), 0);
        EXPECT_EQ(w.wi.GetDeviceID(), MapperId);
        EXPECT_EQ(w.wo.GetDeviceID(), MapperId);
        EXPECT_EQ(w.wi.GetNumBuffers(), 8);
        EXPECT_EQ(w.wi.GetBufferSize(), 4096);
        EXPECT_EQ(w.wo.GetNumBuffers(), 8);
        EXPECT_EQ(w.wo.GetBufferSize(), 4096);
        EXPECT_EQ(w.MMRingBuffer1.GetNumBuffers(), 16);
        EXPECT_EQ(w.gbSetup->cmbPriority->currentText(), "Higher");
        EXPECT_EQ(w.wi.GetPriority(), TThreadPriority::tpNormal);
        EXPECT_EQ(w.wo.GetPriority(), TThreadPriority::tpNormal);
        EXPECT_EQ(w.gbSetup->cmbLogin->currentText(), "admin");
        EXPECT_FALSE(w.gbSetup->cmbLogin->isEnabled());
        EXPECT_FALSE(w.btnChangeLogin->isEnabled());
        EXPECT_FALSE(w.gbSetup->isVisible());
        EXPECT_FALSE(w.gbSetup->btnApply->isEnabled());
        EXPECT_TRUE(w.dspPlugin.IsLoaded());
        EXPECT_FALSE(w.wi.Started());
        EXPECT_FALSE(TfrmQEX::isHighlighted(w.btnPlay));
        EXPECT_EQ(w.btnPlay->toolTip(), "Start");
        EXPECT_EQ(w.btnView->text(), "Parameters");
        EXPECT_EQ(w.btnPref->toolTip(), "Edit audio devices");
        return;
    }
    Installation installation;
    installation.useAlsaDefault(true);
    installation.runChild();
}

TEST(MainWindow, AFirstStartWithoutASoundCardSelectsTheVirtualDevicesAndRunsOnThem)
{
    if (isolated::inChild()) {
        QApplication app(testArgc(), testArgv());
        WindowHarness harness;
        TfrmQEX& w = harness.window();
        EXPECT_EQ(harness.operatorStandIn().count(), 0);
        EXPECT_EQ(w.gbSetup->cbInput->currentText(), "Test signal (virtual)");
        EXPECT_EQ(w.gbSetup->cbOutput->currentText(), "Silent output (virtual)");
        EXPECT_EQ(w.wi.GetProductName(), "Test signal (virtual)");
        EXPECT_EQ(w.wo.GetProductName(), "Silent output (virtual)");
        EXPECT_FALSE(w.gbSetup->isVisible());
        w.btnPlay->click();
        EXPECT_TRUE(w.wi.Started());
        EXPECT_EQ(harness.operatorStandIn().count(), 0) << "Start opened the devices without an error";
        w.btnStop->click();
        return;
    }
    Installation installation;
    installation.useAlsaDefault(false);
    installation.runChild();
}

TEST(MainWindow, ChangedDevicesShowTheNoticeKeepProcessingStoppedAndOpenThePanel)
{
    if (isolated::inChild()) {
        QApplication app(testArgc(), testArgv());
        WindowHarness harness;
        TfrmQEX& w = harness.window();
        const auto* notice = findSeen(harness.operatorStandIn(), "Audio devices settings were changed");
        ASSERT_NE(notice, nullptr);
        EXPECT_EQ(notice->title, "Lumavox QEX");
        EXPECT_EQ(notice->informativeText, "Some changes were detected in audio device settings. Please check it.");
        EXPECT_EQ(notice->buttons, QStringList{"OK"});
        EXPECT_EQ(harness.operatorStandIn().count(), 1);
        EXPECT_FALSE(w.wi.Started());
        EXPECT_TRUE(w.gbSetup->isVisible());
        EXPECT_FALSE(w.DevicesChanged); // opening the panel clears it
        EXPECT_FALSE(w.gbSetup->btnApply->isEnabled());
        EXPECT_EQ(w.gbSetup->lblDimBuf->text(), "4096");
        return;
    }
    Installation installation;
    installation.writeSettings("[General]\nAuto start=1\n[Devices]\nInput device name=Studio card A\n"
                               "Output device name=Studio card B\nPriority=9\n");
    installation.runChild();
    // Reading the file rewrites Visible and Minimized first; the file is written at exit.
    EXPECT_EQ(installation.settings().readInteger("General", "Visible", -1), 0);
    EXPECT_EQ(installation.settings().readInteger("Devices", "Priority", -1), 4);
}

TEST(MainWindow, ExitWhileStoppedClosesAtOnceWhileRunningAsksFirst)
{
    if (isolated::inChild()) {
        QApplication app(testArgc(), testArgv());
        WindowHarness harness({"No", "Yes"});
        TfrmQEX& w = harness.window();
        harness.useVirtualDevices();
        harness.click(w.btnPlay);
        ASSERT_TRUE(w.wi.Started());
        EXPECT_TRUE(TfrmQEX::isHighlighted(w.btnPlay));
        EXPECT_FALSE(w.gbSetup->cbInput->isEnabled());
        EXPECT_FALSE(w.gbSetup->sliderDimBufOut->isEnabled());

        harness.click(w.btnClose);
        ASSERT_EQ(harness.operatorStandIn().count(), 1);
        const auto& question = harness.operatorStandIn().seen().front();
        EXPECT_EQ(question.title, "Lumavox QEX");
        EXPECT_EQ(question.text, "Stop and exit Lumavox QEX?");
        EXPECT_EQ(question.informativeText, "If you exit the audio processor will be stopped.");
        EXPECT_EQ(question.buttons, (QStringList{"Yes", "No"}));
        EXPECT_TRUE(w.isVisible());
        EXPECT_TRUE(w.wi.Started());

        harness.click(w.btnClose);
        EXPECT_EQ(harness.operatorStandIn().count(), 2);
        EXPECT_FALSE(w.isVisible());
        EXPECT_FALSE(w.wi.Started());
        EXPECT_FALSE(w.wi.Opened());
        EXPECT_FALSE(harness.dataModule().ADOConnection1.Connected());
        return;
    }
    Installation installation;
    installation.runChild();
    EXPECT_TRUE(fs::exists(installation.app / "qex.sec"));
    EXPECT_FALSE(fs::exists(installation.app / "qex.mdb"));
    EXPECT_EQ(installation.settings().readString("Devices", "Input device name", ""),
              qex::platform::wave::kTestSignalInputName);
}

TEST(MainWindow, ParametersBypassAndRestartsReachTheModuleAsDesigned)
{
    if (isolated::inChild()) {
        QApplication app(testArgc(), testArgv());
        WindowHarness harness;
        TfrmQEX& w = harness.window();
        TestPluginControl& module = countingModule();

        harness.click(w.btnView);
        EXPECT_EQ(module.configCalls, 0) << "Parameters while stopped";

        harness.click(w.btnBypass);
        EXPECT_TRUE(TfrmQEX::isHighlighted(w.btnBypass));
        EXPECT_FALSE(w.dspPlugin.GetEnabled());
        harness.click(w.btnBypass);
        EXPECT_FALSE(TfrmQEX::isHighlighted(w.btnBypass));
        EXPECT_TRUE(w.dspPlugin.GetEnabled());

        harness.useVirtualDevices();
        harness.click(w.btnPlay);
        ASSERT_TRUE(w.wi.Started());
        EXPECT_TRUE(harness.pumpUntil([&] { return counted(module.processCalls) > 0; }));
        harness.click(w.btnView);
        EXPECT_EQ(module.configCalls, 1);

        // Bypassed while running: the module sees no more buffers.
        harness.click(w.btnBypass);
        EXPECT_TRUE(TfrmQEX::isHighlighted(w.btnBypass));
        harness.pump(100ms);
        const int calls = counted(module.processCalls);
        harness.pump(300ms);
        EXPECT_EQ(counted(module.processCalls), calls);
        harness.click(w.btnBypass);

        harness.click(w.btnStop);
        EXPECT_FALSE(w.wi.Started());
        EXPECT_TRUE(w.wi.Opened()); // Stop leaves the devices open
        EXPECT_FALSE(TfrmQEX::isHighlighted(w.btnPlay));
        EXPECT_TRUE(w.gbSetup->cbInput->isEnabled());
        harness.click(w.btnPlay);
        ASSERT_TRUE(w.wi.Started());
        EXPECT_EQ(module.initCalls, 1) << "the module initialises once per load";

        harness.click(w.btnStop);
        harness.click(w.btnClose); // stopped: no question
        EXPECT_EQ(harness.operatorStandIn().count(), 0);
        EXPECT_FALSE(w.isVisible());
        EXPECT_EQ(module.quitCalls, 1);
        return;
    }
    Installation installation;
    installation.useCountingModule();
    installation.runChild();
}

TEST(MainWindow, ApplyAsksOnlyWhileRunningAndAlwaysSavesTheSettings)
{
    if (isolated::inChild()) {
        QApplication app(testArgc(), testArgv());
        WindowHarness harness({"No", "Yes"});
        TfrmQEX& w = harness.window();
        TAudioSettingsPanel& panel = *w.gbSetup;

        // Stopped: applied at once.
        harness.click(w.btnPref);
        EXPECT_TRUE(panel.isVisible());
        EXPECT_FALSE(panel.btnApply->isEnabled());
        panel.cbAutoStart->click();
        EXPECT_TRUE(panel.btnApply->isEnabled());
        panel.cmbPriority->setCurrentIndex(6);
        harness.useVirtualDevices();
        EXPECT_EQ(harness.operatorStandIn().count(), 0);
        EXPECT_TRUE(w.AutoStart);
        EXPECT_EQ(w.wi.GetPriority(), TThreadPriority::tpTimeCritical);
        EXPECT_EQ(w.wo.GetPriority(), TThreadPriority::tpTimeCritical);
        EXPECT_FALSE(panel.btnApply->isEnabled());
        EXPECT_EQ(onDisk("General", "Auto start"), "1");

        // Running, "No": nothing applied, processing goes on, the file is written anyway.
        harness.click(w.btnPlay);
        ASSERT_TRUE(w.wi.Started());
        harness.click(w.btnPref);
        panel.cbAutoStart->click();
        panel.cmbPriority->setCurrentIndex(1);
        emit panel.cmbPriority->activated(1);
        harness.click(panel.btnApply);
        ASSERT_EQ(harness.operatorStandIn().count(), 1);
        const auto& question = harness.operatorStandIn().seen().front();
        EXPECT_EQ(question.text, "Apply changes?");
        EXPECT_EQ(question.informativeText,
                  "Lumavox QEX is processing audio. If you apply changes it will be stopped.");
        EXPECT_TRUE(w.wi.Started());
        EXPECT_TRUE(w.AutoStart);
        EXPECT_EQ(w.wi.GetPriority(), TThreadPriority::tpTimeCritical);
        EXPECT_EQ(onDisk("Devices", "Priority"), "1");
        EXPECT_EQ(onDisk("General", "Auto start"), "1");

        // Running, "Yes": processing stops and stays stopped; the devices are closed.
        harness.click(panel.btnApply);
        EXPECT_EQ(harness.operatorStandIn().count(), 2);
        EXPECT_FALSE(w.wi.Started());
        EXPECT_FALSE(w.wi.Opened());
        EXPECT_FALSE(w.wo.Opened());
        EXPECT_FALSE(w.AutoStart);
        EXPECT_EQ(w.wi.GetPriority(), TThreadPriority::tpLowest);
        EXPECT_FALSE(TfrmQEX::isHighlighted(w.btnPlay));
        harness.click(panel.btnCancel);
        EXPECT_FALSE(panel.isVisible());
        return;
    }
    Installation installation;
    installation.runChild();
}

TEST(MainWindow, BufferValuesFromTheFileArePulledIntoTheSlidersRanges)
{
    if (isolated::inChild()) {
        QApplication app(testArgc(), testArgv());
        WindowHarness harness;
        TfrmQEX& w = harness.window();
        EXPECT_EQ(w.wi.GetNumBuffers(), 32);
        EXPECT_EQ(w.MMRingBuffer1.GetNumBuffers(), 64);
        EXPECT_EQ(w.wi.GetBufferSize(), 4500) << "inside the range and at the design position: kept";
        EXPECT_EQ(w.gbSetup->sliderDimBuf->value(), 4);
        EXPECT_EQ(w.MMRingBuffer1.GetBufferSize(), 4500);
        EXPECT_EQ(w.wo.GetNumBuffers(), 8) << "a single buffer is refused by the device and the design value stays";
        EXPECT_EQ(w.wo.GetBufferSize(), 1024);
        return;
    }
    Installation installation;
    installation.writeSettings("[Devices]\n" + Installation::virtualDeviceKeys() +
                               "Input num buffers=40\nInput buffer size=4500\nOutput num buffers=1\n"
                               "Output buffer size=512\n");
    installation.runChild();
}

TEST(MainWindow, AnInputBufferSizeAwayFromTheDesignPositionTakesItsSlidersStep)
{
    if (isolated::inChild()) {
        QApplication app(testArgc(), testArgv());
        WindowHarness harness;
        TfrmQEX& w = harness.window();
        EXPECT_EQ(w.gbSetup->sliderDimBuf->value(), 8);
        EXPECT_EQ(w.wi.GetBufferSize(), 8192);
        EXPECT_EQ(w.MMRingBuffer1.GetBufferSize(), 8192);
        return;
    }
    Installation installation;
    installation.writeSettings("[Devices]\n" + Installation::virtualDeviceKeys() + "Input buffer size=9000\n");
    installation.runChild();
}

TEST(MainWindow, OversizedBuffersAreCutToTheLargestStep)
{
    if (isolated::inChild()) {
        QApplication app(testArgc(), testArgv());
        WindowHarness harness;
        TfrmQEX& w = harness.window();
        EXPECT_EQ(w.wi.GetBufferSize(), 16384);
        EXPECT_EQ(w.MMRingBuffer1.GetBufferSize(), 16384);
        EXPECT_EQ(w.wo.GetBufferSize(), 16384);
        EXPECT_EQ(w.wi.GetNumBuffers(), 5);
        EXPECT_EQ(w.MMRingBuffer1.GetNumBuffers(), 10);
        return;
    }
    Installation installation;
    installation.writeSettings("[Devices]\n" + Installation::virtualDeviceKeys() +
                               "Input num buffers=5\nInput buffer size=65536\nOutput buffer size=70000\n");
    installation.runChild();
}

TEST(MainWindow, BufferSlidersActAtOnceAndAreRefusedWhileTheDevicesStayOpenAfterStop)
{
    if (isolated::inChild()) {
        QApplication app(testArgc(), testArgv());
        WindowHarness harness;
        TfrmQEX& w = harness.window();
        TAudioSettingsPanel& panel = *w.gbSetup;
        harness.useVirtualDevices();

        panel.sliderNumBuf->setValue(5);
        EXPECT_EQ(w.wi.GetNumBuffers(), 5);
        EXPECT_EQ(w.MMRingBuffer1.GetNumBuffers(), 10);
        EXPECT_EQ(panel.lblNumBuf->text(), "5");
        panel.sliderDimBuf->setValue(16);
        EXPECT_EQ(w.wi.GetBufferSize(), 16384);
        EXPECT_EQ(w.MMRingBuffer1.GetBufferSize(), 16384);
        EXPECT_EQ(panel.lblDimBuf->text(), "16384");
        EXPECT_TRUE(panel.btnApply->isEnabled());

        harness.click(w.btnPlay);
        ASSERT_TRUE(w.wi.Started());
        // Opening the chain from the input gives the output the input's buffer size.
        EXPECT_EQ(w.wo.GetBufferSize(), 16384);
        harness.click(w.btnStop);
        ASSERT_TRUE(w.wi.Opened());

        panel.sliderDimBuf->setValue(8);
        ASSERT_EQ(harness.operatorStandIn().count(), 1);
        EXPECT_EQ(harness.operatorStandIn().seen().front().text, "Change to property while device was open");
        EXPECT_EQ(w.wi.GetBufferSize(), 16384);

        harness.click(panel.btnApply); // closes both devices
        panel.sliderDimBuf->setValue(7);
        EXPECT_EQ(harness.operatorStandIn().count(), 1);
        EXPECT_EQ(w.wi.GetBufferSize(), 7168);
        return;
    }
    Installation installation;
    installation.runChild();
}

TEST(MainWindow, StartWithADeviceThatIsGoneOpensThePanelInstead)
{
    if (isolated::inChild()) {
        QApplication app(testArgc(), testArgv());
        WindowHarness harness;
        TfrmQEX& w = harness.window();
        EXPECT_EQ(harness.operatorStandIn().count(), 0);
        EXPECT_EQ(w.wi.GetDeviceID(), InvalidId);
        harness.click(w.btnPlay);
        EXPECT_FALSE(w.wi.Started());
        EXPECT_TRUE(w.gbSetup->isVisible());
        EXPECT_EQ(harness.operatorStandIn().count(), 0);
        return;
    }
    Installation installation;
    installation.writeSettings("[Devices]\nInput device=57\nInput device name=No wave audio recording device found\n" +
                               Installation::virtualDeviceKeys(qex::platform::wave::WaveDirection::Output));
    installation.runChild();
}

TEST(MainWindow, EverySettingSurvivesTheRoundTripThroughTheFile)
{
    const std::string file = "[General]\nAuto start=0\nVisible=0\nMinimized=0\nEnable Security=0\nDefault login=admin\n"
                             "Default passwd=s3cret\n\n[Devices]\n" +
        Installation::virtualDeviceKeys() +
        "Input num buffers=12\nInput buffer size=8192\nOutput num buffers=6\n"
        "Output buffer size=2048\nPriority=2\n";
    if (isolated::inChild()) {
        QApplication app(testArgc(), testArgv());
        WindowHarness harness;
        TfrmQEX& w = harness.window();
        EXPECT_EQ(harness.operatorStandIn().count(), 0);
        EXPECT_EQ(w.DefaultLogin, "admin");
        EXPECT_EQ(w.DefaultPassword, "s3cret");
        EXPECT_EQ(w.wi.GetNumBuffers(), 12);
        EXPECT_EQ(w.wi.GetBufferSize(), 8192);
        EXPECT_EQ(w.MMRingBuffer1.GetNumBuffers(), 24);
        EXPECT_EQ(w.wo.GetNumBuffers(), 6);
        EXPECT_EQ(w.wo.GetBufferSize(), 2048);
        EXPECT_EQ(w.gbSetup->cmbPriority->currentIndex(), 2);
        EXPECT_EQ(w.wi.GetPriority(), TThreadPriority::tpLower);
        harness.click(w.btnClose);
        return;
    }
    Installation installation;
    installation.writeSettings(file);
    installation.runChild();
    std::ifstream in(installation.app / "qex.ini");
    std::stringstream written;
    written << in.rdbuf();
    // The same keys and values, in the same order; the window placement follows.
    EXPECT_EQ(written.str().substr(0, file.size()), file);
    EXPECT_NE(written.str().find("[QEX]\nLeft="), std::string::npos);
}

TEST(MainWindow, ProcessesAudioOnTheVirtualDevicesAndItsMetersMove)
{
    if (isolated::inChild()) {
        QApplication app(testArgc(), testArgv());
        WindowHarness harness;
        TfrmQEX& w = harness.window();
        EXPECT_EQ(w.lblLoudness->text(), QStringLiteral("S     \u2014 LUFS\nI     \u2014 LUFS"))
            << "nothing measured yet";
        ASSERT_TRUE(harness.startOnVirtualDevices());
        TMMLevel& left = w.MMLevel1->Level();
        TMMLevel& right = w.MMLevel2->Level();
        EXPECT_GT(w.wo.PlayedBytes(), 0u);
        // The loudness readout beside them shows figures of the played programme.
        const auto readout = [&] { return w.lblLoudness->text().split(QLatin1Char('\n')); };
        const QRegularExpression figure(QStringLiteral("^[SI] +-\\d+\\.\\d LUFS$"));
        EXPECT_TRUE(harness.pumpUntil(
            [&] { return figure.match(readout().value(0)).hasMatch() && figure.match(readout().value(1)).hasMatch(); },
            15s))
            << readout().join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(w.mmloudness.DroppedFrames(), 0u);
        // The status line tells the chain's delay, some 400 ms on the design buffers, and the
        // dropouts; its tooltip breaks them down.
        const QRegularExpression status(QStringLiteral("^Delay (\\d+) ms, \\d+ dropouts?$"));
        const auto delayShown = [&] {
            const QRegularExpressionMatch match = status.match(w.lblChain->text());
            return match.hasMatch() ? match.captured(1).toInt() : -1;
        };
        EXPECT_TRUE(harness.pumpUntil([&] { return std::abs(delayShown() - 400) < 100; }, 5s))
            << w.lblChain->text().toStdString();
        EXPECT_TRUE(w.lblChain->toolTip().contains(QStringLiteral("output underruns:")));
        harness.click(w.btnStop);
        EXPECT_TRUE(status.match(w.lblChain->text()).hasMatch()) << "the last figures stay after Stop";
        EXPECT_EQ(left.Spots(), 0) << "stopping clears the meters";
        EXPECT_EQ(right.Spots(), 0);
        EXPECT_TRUE(harness.pumpUntil([&] { return readout().value(0) == QStringLiteral("S     \u2014 LUFS"); }, 5s))
            << "the short-term figure goes blank at Stop";
        EXPECT_TRUE(figure.match(readout().value(1)).hasMatch()) << "the integrated figure stays";
        return;
    }
    Installation installation;
    installation.runChild();
}

TEST(MainWindow, TheModulesPanelOpensWithParametersAndItsControlsAreHeardAtOnce)
{
    if (isolated::inChild()) {
        QApplication app(testArgc(), testArgv());
        WindowHarness harness;
        TfrmQEX& w = harness.window();
        ASSERT_TRUE(harness.startOnVirtualDevices());
        TMMLevel& left = w.MMLevel1->Level();
        const auto outputLevel = [&] { return w.findChild<QSlider*>("ctl1094"); };

        // The module opens its panel, owned by the window, at its first start; closed, it comes
        // back with Parameters.
        ASSERT_NE(outputLevel(), nullptr);
        outputLevel()->window()->close();
        harness.pump(50ms);
        EXPECT_EQ(outputLevel(), nullptr);
        harness.click(w.btnView);
        ASSERT_NE(outputLevel(), nullptr);
        EXPECT_TRUE(outputLevel()->window()->isVisible());

        outputLevel()->setValue(0);
        EXPECT_TRUE(harness.pumpUntil([&] { return left.Spots() == 0; }, 15s)) << "the output is not silent";
        outputLevel()->setValue(100);
        EXPECT_TRUE(harness.pumpUntil([&] { return left.Spots() > 0; }, 15s));

        // A preset saved from the panel is in the audit trail.
        w.findChild<QPushButton*>("ctl1101")->click();
        EXPECT_TRUE(harness.pumpUntil([&] {
            const auto entries = harness.dataModule().AuditTrail.Entries();
            return !entries.empty() && entries.front().Action == "Preset saved" &&
                entries.front().Detail == "0 DEFAULT";
        }));

        // Exit with the panel open: it is gone before the module is unloaded.
        harness.click(w.btnStop);
        harness.click(w.btnClose);
        EXPECT_EQ(outputLevel(), nullptr);
        harness.pump(300ms);
        return;
    }
    Installation installation;
    fs::create_directory(installation.app / "PRESETS");
    installation.runChild();
}

TEST(MainWindow, AModuleFileThatDoesNotLoadIsReportedAndAudioPassesUnchanged)
{
    if (isolated::inChild()) {
        QApplication app(testArgc(), testArgv());
        WindowHarness harness;
        TfrmQEX& w = harness.window();
        ASSERT_EQ(harness.operatorStandIn().count(), 1);
        EXPECT_EQ(harness.operatorStandIn().seen().front().text, "Modulo audio non trovato.");
        EXPECT_FALSE(w.dspPlugin.IsLoaded());
        harness.useVirtualDevices();
        harness.click(w.btnPlay);
        EXPECT_TRUE(w.wi.Started());
        EXPECT_TRUE(harness.pumpUntil([&] { return w.MMLevel1->Level().Spots() > 0; }, 15s));
        return;
    }
    Installation installation;
    std::ofstream(installation.sys / "qexdsp.so") << "not a library";
    installation.runChild();
}

TEST(MainWindow, PlacementIsReadFromTheWorkingFolderAndWrittenBesideTheProgram)
{
    if (isolated::inChild()) {
        QApplication app(testArgc(), testArgv());
        WindowHarness harness;
        TfrmQEX& w = harness.window();
        EXPECT_EQ(w.frameGeometry().topLeft(), QPoint(120, 60));
        w.move(200, 150);
        harness.pump(20ms);
        harness.click(w.btnClose);
        return;
    }
    Installation installation;
    const fs::path elsewhere = installation.root.path() / "elsewhere";
    fs::create_directories(elsewhere);
    std::ofstream(elsewhere / "qex.ini") << "[QEX]\nLeft=120\nTop=60\nRight=400\nBottom=200\n";
    installation.runChild(elsewhere);

    const IniFile written = installation.settings();
    EXPECT_EQ(written.readInteger("QEX", "Left", -1), 200);
    EXPECT_EQ(written.readInteger("QEX", "Top", -1), 150);
    EXPECT_GT(written.readInteger("QEX", "Right", -1), 200 + 790);
    EXPECT_FALSE(written.readBool("QEX", "Maximized", true));
    // The working folder's file is only read.
    EXPECT_EQ(IniFile(elsewhere / "qex.ini").readInteger("QEX", "Left", -1), 120);
}

TEST(MainWindow, PlacementIsKeptOnTheDesktopAndSnapsToItsEdges)
{
    if (isolated::inChild()) {
        QApplication app(testArgc(), testArgv());
        WindowHarness harness;
        TfrmQEX& w = harness.window();
        const QRect desk = w.screen()->availableGeometry();
        // The stored rectangle reached past the right edge by 300 pixels.
        EXPECT_EQ(w.frameGeometry().left(), desk.width() - 100 - 300);
        w.move(desk.left() + 7, desk.top() + 9);
        harness.pump(20ms);
        EXPECT_EQ(w.frameGeometry().topLeft(), desk.topLeft());
        w.move(desk.left() + 40, desk.top() + 40);
        harness.pump(20ms);
        EXPECT_EQ(w.frameGeometry().topLeft(), desk.topLeft() + QPoint(40, 40));
        return;
    }
    Installation installation;
    // A window stored at the right edge of a wider desktop: Right is 300 beyond it.
    std::ofstream(installation.app / "qex.ini")
        << "[QEX]\nLeft=" << (800 - 100) << "\nTop=100\nRight=" << (800 + 300) << "\nBottom=300\n";
    installation.runChild();
}

TEST(MainWindow, ASettingsFileThatCannotBeWrittenIsReportedAndTheWindowGoesOn)
{
    if (isolated::inChild()) {
        QApplication app(testArgc(), testArgv());
        WindowHarness harness;
        TfrmQEX& w = harness.window();
        harness.click(w.btnPref);
        w.gbSetup->cbAutoStart->click();
        harness.click(w.gbSetup->btnApply);
        ASSERT_EQ(harness.operatorStandIn().count(), 1);
        EXPECT_EQ(harness.operatorStandIn().seen().front().text,
                  QString::fromStdString("Unable to write to " + AppFolder() + "qex.ini"));
        EXPECT_TRUE(w.AutoStart) << "the settings were applied before the save failed";

        // Exit reports it again and still ends the program.
        harness.click(w.btnClose);
        EXPECT_EQ(harness.operatorStandIn().count(), 2);
        EXPECT_FALSE(w.isVisible());
        return;
    }
    Installation installation;
    fs::create_directories(installation.app / "qex.ini"); // a folder where the file should be
    installation.runChild();
    // The closing steps after the failed save ran all the same: the database has its resting name.
    EXPECT_FALSE(fs::exists(installation.app / "qex.mdb"));
    EXPECT_TRUE(fs::exists(installation.app / "qex.sec"));
}

TEST(MainWindow, AutomaticStartRunsAtTheFirstShowingWhenTheDevicesAreUnchanged)
{
    if (isolated::inChild()) {
        QApplication app(testArgc(), testArgv());
        WindowHarness harness;
        TfrmQEX& w = harness.window();
        EXPECT_EQ(harness.operatorStandIn().count(), 0);
        EXPECT_TRUE(w.AutoStart);
        EXPECT_TRUE(w.wi.Started());
        EXPECT_TRUE(TfrmQEX::isHighlighted(w.btnPlay));
        EXPECT_FALSE(w.gbSetup->isVisible());

        // A logout while processing runs: no question, processing stops, nothing is lost.
        w.CloseOnSystemRequest();
        harness.pump(100ms);
        EXPECT_EQ(harness.operatorStandIn().count(), 0);
        EXPECT_FALSE(w.isVisible());
        EXPECT_FALSE(w.wi.Opened());
        return;
    }
    Installation installation;
    installation.writeSettings("[General]\nAuto start=1\n[Devices]\n" + Installation::virtualDeviceKeys());
    installation.runChild();
    EXPECT_TRUE(installation.settings().readBool("General", "Auto start", false));
    EXPECT_TRUE(fs::exists(installation.app / "qex.sec"));
}

TEST(MainWindow, AnApplyMadeForSomethingElseKeepsTheAutomaticStart)
{
    if (isolated::inChild()) {
        QApplication app(testArgc(), testArgv());
        WindowHarness harness;
        TfrmQEX& w = harness.window();
        ASSERT_TRUE(w.wi.Started());
        harness.click(w.btnStop);
        harness.click(w.btnPref);
        EXPECT_TRUE(w.gbSetup->cbAutoStart->isChecked()) << "the panel shows the stored choice";
        w.gbSetup->cmbPriority->setCurrentIndex(2);
        emit w.gbSetup->cmbPriority->activated(2);
        harness.click(w.gbSetup->btnApply);
        EXPECT_EQ(harness.operatorStandIn().count(), 0);
        EXPECT_TRUE(w.AutoStart);
        EXPECT_EQ(onDisk("General", "Auto start"), "1");
        EXPECT_EQ(onDisk("Devices", "Priority"), "2");
        harness.click(w.btnClose);
        return;
    }
    Installation installation;
    installation.writeSettings("[General]\nAuto start=1\n[Devices]\n" + Installation::virtualDeviceKeys());
    installation.runChild();
}

TEST(MainWindow, NoAutomaticStartWithoutAModule)
{
    if (isolated::inChild()) {
        QApplication app(testArgc(), testArgv());
        WindowHarness harness;
        TfrmQEX& w = harness.window();
        ASSERT_EQ(harness.operatorStandIn().count(), 1);
        EXPECT_EQ(harness.operatorStandIn().seen().front().text, "Modulo audio non trovato.");
        EXPECT_FALSE(w.wi.Started());
        EXPECT_FALSE(w.gbSetup->btnApply->isEnabled());
        return;
    }
    Installation installation;
    installation.writeSettings("[General]\nAuto start=1\n[Devices]\n" + Installation::virtualDeviceKeys());
    std::ofstream(installation.sys / "qexdsp.so") << "not a library";
    installation.runChild();
}

TEST(MainWindow, AStoredLoginThatIsNoUserSwitchesSecurityOffForTheRun)
{
    if (isolated::inChild()) {
        QApplication app(testArgc(), testArgv());
        WindowHarness harness;
        TfrmQEX& w = harness.window();
        ASSERT_EQ(harness.operatorStandIn().count(), 1);
        EXPECT_EQ(harness.operatorStandIn().seen().front().text, "Login as \"nobody\" failed. Unknown user.");
        EXPECT_FALSE(w.gbSetup->cbSecurity->isChecked());
        EXPECT_TRUE(w.gbSetup->cbSecurity->isEnabled());
        EXPECT_FALSE(w.gbSetup->cmbLogin->isEnabled());
        EXPECT_FALSE(w.btnChangeLogin->isEnabled());
        EXPECT_EQ(w.lblUser->text(), "Security disabled");
        EXPECT_EQ(w.gbSetup->cmbLogin->currentIndex(), -1) << "the stored login is not a user";
        harness.click(w.btnClose);
        return;
    }
    Installation installation;
    createSecurityDatabase(installation.app / "qex.mdb");
    installation.writeSettings("[General]\nEnable Security=1\nDefault login=nobody\n[Devices]\n" +
                               Installation::virtualDeviceKeys());
    installation.runChild();
    EXPECT_FALSE(installation.settings().readBool("General", "Enable Security", true)) << "saved as off";
    EXPECT_EQ(installation.settings().readString("General", "Default login", ""), "nobody");
}

TEST(MainWindow, ASettingsFileCarriedOverInAnotherSpellingIsTheOneTheWindowAndTheModuleShare)
{
    if (isolated::inChild()) {
        QApplication app(testArgc(), testArgv());
        WindowHarness harness;
        TfrmQEX& w = harness.window();
        EXPECT_TRUE(w.AutoStart);
        EXPECT_TRUE(w.wi.Started());
        harness.click(w.btnStop);
        harness.click(w.btnClose);
        return;
    }
    Installation installation;
    std::ofstream(installation.app / "QEX.INI")
        << "[General]\nAuto start=1\n[Devices]\n" + Installation::virtualDeviceKeys();
    installation.runChild();
    EXPECT_FALSE(fs::exists(installation.app / "qex.ini")) << "a second settings file was started";
    const IniFile carried(installation.app / "QEX.INI");
    EXPECT_EQ(carried.readInteger("General", "Visible", -1), 0);
    EXPECT_EQ(carried.readInteger("OrvianAudioProcessor", "ProcessNumber", -1), 0);
}

namespace {

// A security database beside the program holding the users of a station: "op" may only start
// and stop, "guest" is disabled. The settings switch security on with the given login.
void installStation(const Installation& installation, const std::string& login, const std::string& password)
{
    createSecurityDatabase(installation.app / "qex.mdb");
    SqlDatabase db;
    db.Open((installation.app / "qex.mdb").string());
    SqlStatement users(db.handle(),
                       "INSERT INTO Users (LoginName, Password, Enabled) VALUES ('op', ?1, 1), ('guest', ?1, 0)");
    users.bindText(1, hashPassword("pw"));
    users.step();
    db.Execute("INSERT INTO UserAccess (UserName, Permission) VALUES ('op', 'Start/Stop')");
    installation.writeSettings("[General]\nAuto start=1\nEnable Security=1\nDefault login=" + login +
                               "\nDefault passwd=" + password + "\n[Devices]\n" + Installation::virtualDeviceKeys());
}

std::vector<std::string> auditTrailOf(const fs::path& database)
{
    SqlDatabase db;
    db.Open(database.string());
    std::vector<std::string> entries;
    for (const TuilAuditEntry& entry : TuilAuditTrail(db).Entries())
        entries.push_back(entry.UserName + ": " + entry.Action);
    return entries;
}

// Logs in through the login dialog that the "Login" entry of the user menu opens.
void loginFromTheMenu(WindowHarness& harness, std::deque<std::pair<QString, QString>> attempts)
{
    ModalScript script;
    for (const auto& [user, password] : attempts) {
        script.then([user, password](QDialog& dialog) {
            auto& form = static_cast<TuilLoginForm&>(dialog);
            EXPECT_TRUE(form.txtUsername->text().isEmpty() || form.txtUsername->text() == user);
            typeInto(form.txtUsername, user);
            typeInto(form.txtPassword, password);
            clickWhenEnabled(form.btnLogin);
        });
    }
    harness.window().ChangeLogin1->trigger();
    EXPECT_TRUE(script.finished());
}

} // namespace

TEST(MainWindowSecurity, TheDefaultLoginAtStartAndEveryLaterLoginSetWhatTheWindowOffers)
{
    if (isolated::inChild()) {
        QApplication app(testArgc(), testArgv());
        WindowHarness harness;
        TfrmQEX& w = harness.window();
        EXPECT_EQ(harness.operatorStandIn().count(), 0);
        EXPECT_EQ(w.lblUser->text(), "Logged as op");
        EXPECT_TRUE(w.btnChangeLogin->isEnabled());
        EXPECT_TRUE(w.wi.Started()) << "the automatic start";
        const auto operatorMay = [&](bool startStop, bool others) {
            EXPECT_EQ(w.btnPlay->isEnabled(), startStop);
            EXPECT_EQ(w.btnStop->isEnabled(), startStop);
            for (QWidget* b : std::initializer_list<QWidget*>{w.btnBypass, w.btnView, w.btnPref, w.btnClose})
                EXPECT_EQ(b->isEnabled(), others) << b->objectName().toStdString();
            EXPECT_EQ(w.Usermanagement1->isEnabled(), others);
        };
        operatorMay(true, false);

        // The processing module's panel records a preset through the program's hook.
        using Hook = void (*)(const char*, const char*);
        const auto hook = reinterpret_cast<Hook>(::dlsym(RTLD_DEFAULT, "qex_audit_record"));
        ASSERT_NE(hook, nullptr);
        hook("Preset saved", "QEX$3.dat");
        EXPECT_TRUE(harness.pumpUntil([&] {
            const auto entries = harness.dataModule().AuditTrail.Entries();
            return !entries.empty() && entries.front().Action == "Preset saved";
        }));
        EXPECT_EQ(harness.dataModule().AuditTrail.Entries().front().UserName, "op");
        harness.click(w.btnStop);

        w.uilLoginDlg1.FailureDelay = 20ms;
        loginFromTheMenu(harness, {{"ADMIN", ""}});
        EXPECT_EQ(w.lblUser->text(), "Logged as ADMIN");
        operatorMay(true, true);

        // Three wrong guesses lock everything; the label still names the last user.
        loginFromTheMenu(harness, {{"admin", "1"}, {"admin", "2"}, {"admin", "3"}});
        operatorMay(false, false);
        EXPECT_EQ(w.lblUser->text(), "Logged as ADMIN");
        EXPECT_FALSE(w.uilSecurityManager1.LoggedIn());
        return;
    }
    Installation installation;
    installStation(installation, "op", "pw");
    installation.runChild();
    const auto trail = auditTrailOf(installation.app / "qex.sec");
    // Newest first: the closing at the end, the logins from the menu, the start.
    EXPECT_EQ(std::vector<std::string>(trail.end() - 5, trail.end()),
              (std::vector<std::string>{"op: Logout", "op: Stop", "op: Preset saved", "op: Start", "op: Login"}));
    EXPECT_EQ(std::count(trail.begin(), trail.end(), "admin: Login failed"), 3);
}

TEST(MainWindowSecurity, WhenTheLoginAtStartAndTheDialogBothFailTheProgramEndsWithoutSaving)
{
    if (isolated::inChild()) {
        QApplication app(testArgc(), testArgv());
        initialiseApplication();
        ModalAnswerer operatorStandIn;
        ModalScript script({[](QDialog& dialog) {
            EXPECT_EQ(dialog.windowTitle(), "Lumavox QEX Login");
            dialog.reject();
        }});
        EXPECT_EQ(runQex(app), 0);
        EXPECT_TRUE(script.finished());
        EXPECT_EQ(operatorStandIn.count(), 0);
        return;
    }
    Installation installation;
    installStation(installation, "guest", "pw"); // a disabled user
    installation.runChild();
    EXPECT_TRUE(fs::exists(installation.app / "qex.mdb")) << "the database keeps its working name";
    EXPECT_EQ(installation.settings().readString("Devices", "Priority", "<missing>"), "<missing>")
        << "the settings were not saved";
    const auto trail = auditTrailOf(installation.app / "qex.mdb");
    ASSERT_FALSE(trail.empty());
    EXPECT_EQ(trail.front(), "guest: Login refused");
}

TEST(MainWindowSecurity, ADeletedDatabaseWithSecurityOnIsNotMadeAgainAndNobodyGetsIn)
{
    if (isolated::inChild()) {
        QApplication app(testArgc(), testArgv());
        ModalAnswerer operatorStandIn;
        ModalScript script({[](QDialog& dialog) {
                                auto& form = static_cast<TuilLoginForm&>(dialog);
                                typeInto(form.txtUsername, "admin");
                                form.btnLogin->click();
                            },
                            [](QDialog& dialog) { dialog.reject(); }});
        EXPECT_EQ(runQex(app), 0);
        ASSERT_GE(operatorStandIn.count(), 1);
        EXPECT_TRUE(operatorStandIn.seen().front().text.startsWith("unable to open database file"))
            << operatorStandIn.seen().front().text.toStdString();
        return;
    }
    Installation installation;
    installation.writeSettings("[General]\nEnable Security=1\nDefault login=admin\n[Devices]\n" +
                               Installation::virtualDeviceKeys());
    installation.runChild();
    EXPECT_FALSE(fs::exists(installation.app / "qex.mdb"));
    EXPECT_FALSE(fs::exists(installation.app / "qex.sec"));
}

TEST(MainWindowSecurity, ApplyLogsTheChosenLoginInOrSwitchesSecurityOffWithAWarning)
{
    if (isolated::inChild()) {
        QApplication app(testArgc(), testArgv());
        WindowHarness harness({"OK"});
        TfrmQEX& w = harness.window();
        TAudioSettingsPanel& panel = *w.gbSetup;
        EXPECT_EQ(w.lblUser->text(), "Security disabled");
        harness.click(w.btnPref);
        panel.cbSecurity->click();
        EXPECT_TRUE(panel.cmbLogin->isEnabled());
        harness.click(panel.btnApply);
        EXPECT_EQ(harness.operatorStandIn().count(), 0);
        EXPECT_EQ(w.lblUser->text(), "Logged as admin");
        EXPECT_TRUE(w.btnChangeLogin->isEnabled());
        EXPECT_EQ(onDisk("General", "Enable Security"), "1");
        EXPECT_EQ(onDisk("General", "Default login"), "admin");

        // A disabled user cannot be the login at start.
        panel.cmbLogin->setCurrentIndex(panel.cmbLogin->findText("guest"));
        emit panel.cmbLogin->activated(panel.cmbLogin->currentIndex());
        harness.click(panel.btnApply);
        ASSERT_EQ(harness.operatorStandIn().count(), 1);
        EXPECT_EQ(harness.operatorStandIn().seen().front().text, "Error logging as: guest");
        EXPECT_FALSE(panel.cbSecurity->isChecked());
        EXPECT_EQ(w.lblUser->text(), "Security disabled");
        EXPECT_FALSE(w.btnChangeLogin->isEnabled());
        EXPECT_EQ(onDisk("General", "Enable Security"), "0");
        return;
    }
    Installation installation;
    installStation(installation, "admin", "");
    installation.writeSettings("[Devices]\n" + Installation::virtualDeviceKeys());
    installation.runChild();
    EXPECT_EQ(fs::status(installation.app / "qex.ini").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    const std::string stored = installation.settings().readString("General", "Default passwd", "<missing>");
    EXPECT_TRUE(isPasswordHash(stored)) << "the stored form of guest's password, never a password in clear";
}
