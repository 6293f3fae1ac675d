// The module's control panel, offscreen, driven through its controls as the operator drives it:
// value readouts, band records, the GLOBAL link, the edited mark, presets, meters, the caption's
// format warning, the window's life, and edits made while the audio thread processes.

#include "dsp/conversions.h"
#include "module_settings.h"
#include "module_test_support.h"
#include "panel/control_panel.h"
#include "panel/panel_controls.h"
#include "panel/qt_panel_factory.h"
#include "preset_file.h"
#include "processing_module.h"
#include "winamp_dsp.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSlider>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <dlfcn.h>
#include <stdexcept>
#include <thread>

namespace qex {
namespace {

namespace fs = std::filesystem;
using panel::ControlName;
using panel::ControlPanel;

// The application of the whole test program, made before the first test and destroyed after
// the last, while Qt's own statics still stand.
class QtApplication : public ::testing::Environment {
public:
    void SetUp() override { application_ = std::make_unique<QApplication>(argc_, argv_); }
    void TearDown() override { application_.reset(); }

private:
    int argc_ = 1;
    char name_[16] = "qex_panel_tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> application_;
};
::testing::Environment* const qtApplication = ::testing::AddGlobalTestEnvironment(new QtApplication);

void Pump(int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// The panel window on screen now, if any (a closed one waiting for deletion is hidden).
ControlPanel* ShownPanel()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* panel = dynamic_cast<ControlPanel*>(widget); panel && panel->isVisible())
            return panel;
    return nullptr;
}

class PanelTest : public ::testing::Test {
protected:
    PanelTest()
    {
        fs::create_directory(folder.path() / "PRESETS");
        module->SetPanelFactory(&factory);
    }
    ~PanelTest() override { module->Quit(); }

    void SetSetting(std::string_view key, int value) { WriteModuleSetting(module->SettingsPath(), key, value); }

    ControlPanel& Panel()
    {
        ControlPanel* panel = ShownPanel();
        if (!panel)
            throw std::runtime_error("no panel is open");
        return *panel;
    }

    template <typename T = QWidget>
    T& Control(int id)
    {
        T* control = Panel().findChild<T*>(QString::fromStdString(ControlName(id)));
        if (!control)
            throw std::runtime_error("no control " + ControlName(id));
        return *control;
    }
    QPushButton& Button(const char* name) { return *Panel().findChild<QPushButton*>(QString::fromLatin1(name)); }

    void Move(int slider, int position) { Control<QSlider>(slider).setValue(position); }
    void Click(int id) { Control<QPushButton>(id).click(); }
    QString Text(int id) { return Control<QLabel>(id).text(); }
    int Meter(int id) { return Control<QProgressBar>(id).value(); }

    // Audio through the module as the host's output thread would send it.
    void Process(int frames, double amplitude, int rate = 44100)
    {
        std::vector<int16_t> samples = test::StereoSine(frames, 440, amplitude, amplitude * 0.7);
        module->ModifySamples(samples.data(), frames, 16, 2, rate);
    }

    test::TempFolder folder;
    panel::QtPanelFactory factory;
    std::unique_ptr<ProcessingModule> module =
        std::make_unique<ProcessingModule>(test::HostExecutableIn(folder.path()));
};

TEST_F(PanelTest, ReadoutsShowTheValuesInTheirFormats)
{
    module->Init();
    EXPECT_EQ(Text(1125), "DEFAULT");
    EXPECT_EQ(Text(1123), "0");
    EXPECT_EQ(Text(1065), "+25dB");

    struct Case {
        int slider, label, position;
        const char* text;
    };
    for (const Case c : {Case{1024, 1026, 60, "-6.0"}, Case{1024, 1026, -200, "+20.0"}, Case{1042, 1046, -5, "-0.5"},
                         Case{1042, 1046, 30, "3.0"}, Case{1063, 1073, -15, "-1.5"}, Case{1134, 1085, 0, "+0.0"},
                         Case{1134, 1085, -100, "-10.0"}, Case{1003, 1013, 0, "0"}, Case{1003, 1013, 40, "-40"},
                         Case{1064, 1028, 40, "4.0"}, Case{1064, 1028, 15, "1.5"}, Case{1180, 1181, 73, "73"}}) {
        Move(c.slider, c.position);
        EXPECT_EQ(Text(c.label), c.text) << c.slider << " at " << c.position;
    }
    EXPECT_EQ(module->OnAirSet.Global.MultibandEfficiencyPct.get(), 73);

    // "Max Gain" has its maximum at the top, where the other sliders have their minimum.
    QSlider& maxGain = Control<QSlider>(1067);
    EXPECT_TRUE(maxGain.invertedAppearance());
    Move(1067, maxGain.minimum());
    EXPECT_EQ(module->OnAirSet.Global.AgcMaxGainDb.get(), 25);
    EXPECT_EQ(Text(1043), "25");
    Move(1067, maxGain.maximum());
    EXPECT_EQ(module->OnAirSet.Global.AgcMaxGainDb.get(), 0);
    EXPECT_EQ(Text(1043), "0");
}

TEST_F(PanelTest, BandSlidersEditTheRecordTheyShow)
{
    module->Init();
    const ParameterSet& set = module->OnAirSet;
    const ParameterSet before = set;

    // "GLOBAL": band 3's Rel1 under "Limiter" reaches the Limiter records of all five bands.
    Button("cfgBand3").click();
    Click(1089);
    Click(1081);
    Move(1005, 1234);
    for (int band = 0; band < kMultibandCount; ++band) {
        EXPECT_EQ(set.record(band, Limiter).Release1Ms.get(), 1234) << band;
        EXPECT_EQ(module->Path.Gains.record(band, Limiter).release1.get(), dsp::TimeCoef(1234)) << band;
        EXPECT_EQ(set.record(band, Compressor).Release1Ms.get(), before.record(band, Compressor).Release1Ms.get());
        EXPECT_EQ(set.record(band, Limiter).Attack1Ms.get(), before.record(band, Limiter).Attack1Ms.get());
    }
    // Band Gain always edits the Compressor records, here of all five bands.
    Move(1042, -35);
    for (int band = 0; band < kMultibandCount; ++band)
        EXPECT_EQ(module->Path.Settings.BandOutputGain[band].get(), 21899) << band;
    Click(1081);
    Move(1005, 999);
    EXPECT_EQ(set.record(2, Limiter).Release1Ms.get(), 999);
    EXPECT_EQ(set.record(1, Limiter).Release1Ms.get(), 1234);

    // One clip threshold for both dual-band bands.
    Move(1063, -45);
    EXPECT_EQ(set.record(kBandHF, Compressor).BandGainTenthDb.get(), -45);
    EXPECT_EQ(set.record(kBandLF, Compressor).BandGainTenthDb.get(), -45);
    EXPECT_EQ(module->Path.Settings.ClipLevelHF.get(), module->Path.Settings.ClipLevelLF.get());

    // The dual-band sliders show and edit the Compressor records whatever section is shown.
    Click(1088);
    Click(1079);
    EXPECT_EQ(Control<QSlider>(1069).value(), set.record(kBandHF, Compressor).Ratio.get());
    Move(1069, 55);
    EXPECT_EQ(set.record(kBandHF, Compressor).Ratio.get(), 55);
    EXPECT_EQ(set.record(kBandHF, Expander).Ratio.get(), before.record(kBandHF, Expander).Ratio.get());

    // Reopened with "Expander" and band 3 shown, the selected buttons are the ones shown.
    Panel().close();
    module->Config();
    EXPECT_TRUE(Control<QPushButton>(1088).isChecked());
    EXPECT_TRUE(Button("cfgBand3").isChecked());
    EXPECT_TRUE(Control<QPushButton>(1079).isChecked());
    EXPECT_EQ(Control<QSlider>(1069).value(), 55);
    Move(1001, 7);
    EXPECT_EQ(set.record(2, Expander).Attack1Ms.get(), 7);
}

TEST_F(PanelTest, TheEditedMarkFollowsEditsAndBlinks)
{
    module->Init();
    const auto markAfterTicks = [&](int ticks) {
        std::string shown;
        for (int i = 0; i < ticks; ++i) {
            Panel().Tick();
            shown += Text(1129) == "E" ? 'E' : '.';
        }
        return shown;
    };
    EXPECT_EQ(markAfterTicks(8), "........");

    Click(1041); // Bypass All
    Click(1113); // Show Composite
    Click(1081); // GLOBAL
    EXPECT_FALSE(module->Edited);

    // A slider notification at the end of its range changes nothing and still counts.
    QSlider& gate = Control<QSlider>(1003);
    Move(1003, gate.maximum());
    module->Edited = false;
    gate.triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(gate.value(), gate.maximum());
    EXPECT_TRUE(module->Edited);
    const std::string blink = markAfterTicks(24);
    EXPECT_NE(blink.find("EEEE....EEEE"), std::string::npos) << blink;
    EXPECT_EQ(blink.find("EEEEE"), std::string::npos) << blink;
    EXPECT_EQ(blink.find("....."), std::string::npos) << blink;

    Click(1101); // Save clears it
    EXPECT_EQ(markAfterTicks(8), "........");
    Click(1099); // PHASE ROTATOR
    EXPECT_TRUE(module->Edited);
}

TEST_F(PanelTest, HighQNeedsABoostOfSevenDecibels)
{
    module->Init();
    QPushButton& highQ = Control<QPushButton>(1138);
    Move(1007, 6);
    module->Edited = false;
    highQ.click();
    EXPECT_FALSE(highQ.isChecked());
    EXPECT_FALSE(module->OnAirSet.Global.has(Flag::BassHighQ));
    EXPECT_FALSE(module->Edited);

    Move(1007, 7);
    highQ.click();
    EXPECT_TRUE(highQ.isChecked());
    EXPECT_TRUE(module->OnAirSet.Global.has(Flag::BassHighQ));
    Move(1007, 5);
    EXPECT_FALSE(highQ.isChecked()) << "a boost below 6 dB turns it off";
    EXPECT_FALSE(module->OnAirSet.Global.has(Flag::BassHighQ));
}

TEST_F(PanelTest, HoldingPlusBrowsesSlowlyThenFaster)
{
    module->Init();
    QPushButton& plus = Control<QPushButton>(1127);
    std::vector<int> steps;
    plus.setDown(true);
    for (int tick = 0; tick < 22; ++tick) {
        const int before = module->BrowseNumber;
        Panel().Tick();
        steps.push_back(module->BrowseNumber - before);
    }
    EXPECT_EQ(steps, (std::vector<int>{0, 0, 0, 0, 0, 0, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 8}));
    EXPECT_EQ(Text(1123), "79");
    for (int tick = 0; tick < 5; ++tick)
        Panel().Tick();
    EXPECT_EQ(module->BrowseNumber, 100);

    // Releasing adds the click's own step; a new press starts slowly again.
    plus.setDown(false);
    Panel().Tick();
    Click(1128);
    EXPECT_EQ(module->BrowseNumber, 99);
    Control<QPushButton>(1128).setDown(true);
    for (int tick = 0; tick < 7; ++tick)
        Panel().Tick();
    EXPECT_EQ(module->BrowseNumber, 98);
}

TEST_F(PanelTest, PresetsSaveBrowseAndLoadThroughRealFiles)
{
    module->Init();
    QLineEdit& name = Control<QLineEdit>(1121);

    // The name is typed in upper case, 8-bit characters only, 20 at most and 19 kept.
    name.clear();
    for (const QChar key : QString::fromUtf8("morning drive\u00e9\u20acxyz1234")) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(key));
        QApplication::sendEvent(&name, &press);
    }
    const QString typed = QString::fromUtf8("MORNING DRIVE\u00c9XYZ123");
    EXPECT_EQ(name.text(), typed);

    Move(1111, 17); // Overdrive
    Click(1127);    // browse to 1, an empty slot
    EXPECT_EQ(name.text(), "EMPTY");
    name.setText(typed);
    Click(1101);
    EXPECT_EQ(module->OnAirNumber, 1);
    EXPECT_EQ(Text(1125), QString::fromUtf8("MORNING DRIVE\u00c9XYZ12"));
    const auto bytes = test::ReadFileBytes(PresetFilePath(folder.path(), 1));
    ASSERT_EQ(bytes.size(), kPresetFileSize);
    EXPECT_STREQ(bytes.data() + 17402, "MORNING DRIVE\xC9XYZ12");

    // Loading preset 0 back, then the saved one.
    Move(1111, 3);
    Click(1128);
    EXPECT_EQ(name.text(), "DEFAULT");
    Click(1102);
    EXPECT_EQ(module->OnAirSet.Global.OverdriveDb.get(), 10);
    EXPECT_EQ(Control<QSlider>(1111).value(), 10);
    EXPECT_EQ(Text(1125), "DEFAULT");
    Click(1127);
    Click(1102);
    EXPECT_EQ(module->OnAirNumber, 1);
    EXPECT_EQ(module->OnAirSet.Global.OverdriveDb.get(), 17);
    EXPECT_EQ(Text(1015), "17");

    // Load does nothing on an empty slot.
    Click(1127);
    EXPECT_EQ(name.text(), "EMPTY");
    Click(1102);
    EXPECT_EQ(module->OnAirNumber, 1);
}

TEST_F(PanelTest, MetersFollowTheProcessingAndBypassAllStopsTheBandMeters)
{
    module->Init();
    dsp::MeterValues& meters = module->Path.Meters;
    QProgressBar& band1 = *Panel().findChild<QProgressBar*>("bandMeter1Lower");
    Process(16384, 20000);
    Panel().Tick();
    EXPECT_GT(Meter(1031), 10000);
    EXPECT_GT(Meter(1059), 10000);
    EXPECT_GT(band1.value(), 0);
    EXPECT_GT(Meter(1072), 0);
    const int in = Meter(1031);
    Panel().Tick();
    EXPECT_LT(Meter(1031), in) << "peaks decay between ticks";

    // Every value is held within its bar: a gain below 1 reads 0 dB, not what the bar showed.
    meters.AgcBassGain.set(10.0);
    meters.AgcMasterGain.set(1e6);
    meters.Gated.set(1);
    Panel().Tick();
    EXPECT_EQ(Meter(1036), 20);
    EXPECT_EQ(Meter(1149), 25);
    EXPECT_EQ(Text(1044), "GATED");
    meters.AgcBassGain.set(0.5);
    meters.Gated.set(0);
    Panel().Tick();
    EXPECT_EQ(Meter(1036), 0);
    EXPECT_EQ(Text(1044), "");

    Click(1041); // Bypass All
    meters.ImagePeak.set(5000);
    Process(16384, 20000);
    Panel().Tick();
    for (const char* bar : {"bandMeter1Lower", "bandMeter3Upper", "bandMeter5Lower"})
        EXPECT_EQ(Panel().findChild<QProgressBar*>(bar)->value(), 0) << bar;
    for (const int bar : {1071, 1072, 1082, 1131})
        EXPECT_EQ(Meter(bar), 0) << bar;
    EXPECT_GT(Meter(1031), 10000);
    EXPECT_GT(Meter(1059), 10000);
    EXPECT_GE(meters.ImagePeak.get(), 5000.0) << "nothing decays while bypassed";

    Click(1041);
    Panel().Tick();
    EXPECT_GE(Meter(1082), 5000);
}

TEST_F(PanelTest, TheCaptionWarnsOfARefusedFormatAlsoAfterReopening)
{
    module->Init();
    EXPECT_EQ(Panel().windowTitle(), "");
    const QString warning = "QEX Warning! Sample rate or resolution is wrong, use 44.1KHz 16bits. Process stopped";
    Process(1024, 8000, 22050);
    Panel().Tick();
    EXPECT_EQ(Panel().windowTitle(), warning);
    Process(1024, 8000);
    Panel().Tick();
    EXPECT_EQ(Panel().windowTitle(), "QEX");
    Process(1024, 8000, 22050);
    Panel().Tick();
    EXPECT_EQ(Panel().windowTitle(), warning);

    Panel().close();
    module->Config();
    Panel().Tick();
    EXPECT_EQ(Panel().windowTitle(), warning);
}

TEST_F(PanelTest, TheWindowKeepsItsPlaceAndIsGoneAtQuit)
{
    SetSetting("pos_x", 5000);
    SetSetting("pos_y", 5000);
    module->Init();
    const QRect desktop = QGuiApplication::primaryScreen()->virtualGeometry();
    EXPECT_EQ(Panel().pos(), QPoint(desktop.right() + 1 - 32, desktop.bottom() + 1 - 32));

    Panel().showMinimized();
    EXPECT_EQ(module->PanelMinimized, 1);
    Panel().showNormal();
    EXPECT_EQ(module->PanelMinimized, 0);
    Panel().move(120, 80);
    EXPECT_EQ(module->PanelPosition, (ScreenPoint{120, 80}));

    // Closed from its own close button: gone from the screen at once, deleted afterwards.
    QPointer<ControlPanel> first = &Panel();
    first->close();
    EXPECT_FALSE(module->PanelOpen());
    EXPECT_EQ(module->PanelVisible, 0);
    EXPECT_EQ(ReadModuleSetting(module->SettingsPath(), "pos_x", -1), 120);
    EXPECT_EQ(ShownPanel(), nullptr);
    Pump(20);
    EXPECT_TRUE(first.isNull());

    // Opened again where it was; Quit takes it down before returning.
    module->Config();
    EXPECT_EQ(Panel().pos(), QPoint(120, 80));
    QPointer<ControlPanel> second = &Panel();
    second->close();
    module->Config();
    QPointer<ControlPanel> third = &Panel();
    module->Quit();
    factory.DestroyClosedPanels();
    EXPECT_TRUE(second.isNull());
    EXPECT_TRUE(third.isNull());
    EXPECT_EQ(ReadModuleSetting(module->SettingsPath(), "Visible", -1), 1);
}

// The whole panel fits a 1280 × 800 screen with room for its caption bar. With QEX_PICTURE set,
// the panel as it looks with audio running is saved there (the README's picture).
TEST_F(PanelTest, FitsASmallScreen)
{
    module->Init();
    EXPECT_LE(Panel().width(), 1280);
    EXPECT_LE(Panel().height(), 800 - 40);
    if (const char* picture = std::getenv("QEX_PICTURE")) {
        for (int tick = 0; tick < 10; ++tick) {
            Process(4410, 12000 + 1500 * tick);
            Panel().Tick();
        }
        EXPECT_TRUE(Panel().grab().save(QString::fromLocal8Bit(picture)));
    }
}

TEST_F(PanelTest, NoPanelOffTheUserInterfaceThread)
{
    std::unique_ptr<PanelWindow> made;
    std::thread([&] { made = factory.CreatePanel(*module); }).join();
    EXPECT_EQ(made, nullptr);
}

// Means something under ThreadSanitizer: every value the panel writes while the audio thread
// processes must reach it whole, and the meters must be read and decayed without a lock.
TEST_F(PanelTest, ControlsMoveWhileTheAudioThreadProcesses)
{
    module->Init();
    std::atomic<bool> stop{false};
    std::atomic<bool> finite{true};
    std::thread audio([&] {
        const std::vector<int16_t> tone = test::StereoSine(1024, 440, 20000, 15000);
        std::vector<int16_t> buffer(tone.size());
        while (!stop.load()) {
            buffer = tone;
            module->ModifySamples(buffer.data(), 1024, 16, 2, 44100);
            if (!std::isfinite(module->Path.Gains.BandGain[2].get()))
                finite = false;
        }
    });
    const QList<QSlider*> sliders = Panel().findChildren<QSlider*>();
    for (int round = 0; round < 12; ++round) {
        for (QSlider* slider : sliders)
            slider->setValue(slider->minimum() + (slider->maximum() - slider->minimum()) * ((round * 5) % 12) / 11);
        for (const int id : {1099, 1103, 1136, 1033, 1047, 1116, 1100, 1177, 1114, 1034, 1175, 1183, 1112, 1081})
            Click(id);
        Click(round % 3 == 0 ? 1087 : round % 3 == 1 ? 1088 : 1089);
        Control<QPushButton>(panel::kMuteIds[round % kBandCount]).click();
        Panel().Tick();
        if (round % 4 == 3) {
            Click(1128);
            Click(1102);
        }
    }
    stop = true;
    audio.join();
    EXPECT_TRUE(finite.load());
}

// The program unloads the module right after Quit: whatever the panel left behind would then
// run code that is no longer there.
TEST(PanelLibrary, QuitAndUnloadWithThePanelOpenLeaveNothingBehind)
{
    QWidget owner;
    owner.show();
    for (const bool closedFirst : {false, true}) {
        SCOPED_TRACE(closedFirst ? "closed by the operator just before" : "open");
        void* library = ::dlopen(QEX_MODULE_FILE, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << ::dlerror();
        auto getHeader = reinterpret_cast<winampDSPGetHeaderType>(::dlsym(library, "winampDSPGetHeader2"));
        winampDSPModule* module = getHeader()->getModule(0);
        module->hwndParent = reinterpret_cast<void*>(owner.winId());
        ASSERT_EQ(module->Init(module), 0);
        module->Config(module);
        QWidget* panel = owner.findChild<QWidget*>(QString::fromStdString(ControlName(1064)))->window();
        EXPECT_TRUE(panel->isVisible());
        EXPECT_EQ(panel->parentWidget(), &owner);
        std::vector<int16_t> samples = test::StereoSine(4096, 440, 8000, 8000);
        module->ModifySamples(module, samples.data(), 4096, 16, 2, 44100);
        Pump(150);
        if (closedFirst)
            panel->close();
        module->Quit(module);
        EXPECT_EQ(owner.findChildren<QDialog*>().size(), 0);
        ASSERT_EQ(::dlclose(library), 0);
        EXPECT_EQ(::dlopen(QEX_MODULE_FILE, RTLD_NOW | RTLD_NOLOAD), nullptr) << "the library stayed loaded";
        Pump(350);
    }
}

} // namespace
} // namespace qex
