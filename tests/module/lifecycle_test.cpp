// Init, Config and Quit with the module's settings section, and the panel's placement, with a
// stand-in panel window.

#include "module_settings.h"
#include "module_test_support.h"
#include "panel_position.h"
#include "processing_module.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace qex {
namespace {

namespace fs = std::filesystem;

TEST(ScreenPoint, StaysOnTheDesktop)
{
    const DesktopRect desktop{0, 0, 1024, 768};
    EXPECT_EQ(RestorePanelPosition(5000, 5000, desktop), (ScreenPoint{992, 736}));
    EXPECT_EQ(RestorePanelPosition(-500, -500, desktop), (ScreenPoint{-64, -32}));
    EXPECT_EQ(RestorePanelPosition(-1, -1, desktop), (ScreenPoint{-1, -1}));
    EXPECT_EQ(RestorePanelPosition(300, 200, DesktopRect{100, 50, 1380, 1074}), (ScreenPoint{300, 200}));
    EXPECT_EQ(SavePanelPosition({5000, 5000}, desktop), (ScreenPoint{992, 736}));
}

TEST(ScreenPoint, WithoutAUsableDesktopOnlyPlausiblePositionsAreKept)
{
    for (const DesktopRect odd : {DesktopRect{0, 0, 0, 768}, DesktopRect{0, 0, 1024, 0}, DesktopRect{-10, 0, 1024, 768},
                                  DesktopRect{0, -10, 1024, 768}}) {
        EXPECT_EQ(RestorePanelPosition(5000, 5000, odd), (ScreenPoint{5000, 5000}));
        EXPECT_EQ(RestorePanelPosition(-31, 7999, odd), (ScreenPoint{-31, 7999}));
        EXPECT_EQ(RestorePanelPosition(-32, 0, odd), std::nullopt);
        EXPECT_EQ(SavePanelPosition({0, 8000}, odd), std::nullopt);
        EXPECT_EQ(SavePanelPosition({12, 34}, odd), (ScreenPoint{12, 34}));
    }
}

TEST(ModuleSettingsPath, IsTheHostsSettingsFileWhateverItsCase)
{
    test::TempFolder folder;
    const fs::path host = test::HostExecutableIn(folder.path());
    EXPECT_EQ(ModuleSettingsPath(host), folder.path() / "qex.ini");
    test::WriteFileBytes(folder.path() / "QEX.INI", "", 0);
    EXPECT_EQ(ModuleSettingsPath(host), folder.path() / "QEX.INI");
}

TEST(ModuleSettingsPath, PrefersTheHostsSpellingWhereSeveralExist)
{
    // Whatever order the folder lists them in, the module settles on the host's file.
    test::TempFolder folder;
    for (const char* name : {"qex.ini", "QEX.INI", "Qex.ini", "qex.INI", "QEX.ini", "qEx.ini", "qeX.Ini", "QeX.iNi"})
        test::WriteFileBytes(folder.path() / name, "", 0);
    EXPECT_EQ(ModuleSettingsPath(test::HostExecutableIn(folder.path())), folder.path() / "qex.ini");
}

// Records what the module does with its panel window.
struct FakePanel : PanelWindow {
    explicit FakePanel(std::vector<std::string>& log) : log(log) { log.push_back("create"); }
    ~FakePanel() override { log.push_back("destroy"); }
    DesktopRect DesktopClientRect() const override { return {0, 0, 1024, 768}; }
    void MoveTo(ScreenPoint p) override { log.push_back("move " + std::to_string(p.x) + "," + std::to_string(p.y)); }
    void Minimize() override { log.push_back("minimize"); }
    std::vector<std::string>& log;
};

struct FakePanelFactory : PanelFactory {
    std::unique_ptr<PanelWindow> CreatePanel(ProcessingModule&) override { return std::make_unique<FakePanel>(log); }
    std::vector<std::string> log;
};

class LifecycleTest : public ::testing::Test {
protected:
    LifecycleTest() { module->SetPanelFactory(&panels); }

    int Setting(std::string_view key) { return ReadModuleSetting(module->SettingsPath(), key, -99); }
    void SetSetting(std::string_view key, int value) { WriteModuleSetting(module->SettingsPath(), key, value); }

    test::TempFolder folder;
    FakePanelFactory panels;
    std::unique_ptr<ProcessingModule> module =
        std::make_unique<ProcessingModule>(test::HostExecutableIn(folder.path()));
};

TEST_F(LifecycleTest, InitOpensTheStoredPanelWhereItWas)
{
    SetSetting("pos_x", 5000);
    SetSetting("pos_y", 5000);
    SetSetting("Minimized", 1);
    EXPECT_EQ(module->Init(), 0);
    EXPECT_TRUE(module->PanelOpen());
    EXPECT_EQ(panels.log, (std::vector<std::string>{"create", "move 992,736", "minimize"}));
    EXPECT_EQ(module->PanelPosition, (ScreenPoint{992, 736}));
}

TEST_F(LifecycleTest, InitLeavesAHiddenPanelClosed)
{
    SetSetting("Visible", 0);
    module->Init();
    EXPECT_FALSE(module->PanelOpen());
    EXPECT_TRUE(panels.log.empty());
}

TEST_F(LifecycleTest, ConfigOpensThePanelOnceAndRestartsTheDynamics)
{
    SetSetting("Visible", 0);
    module->Init();
    module->SetBandMute(2, true);
    module->Config();
    EXPECT_TRUE(module->PanelOpen());
    EXPECT_EQ(module->PanelVisible, 1);
    EXPECT_EQ(module->Path.Settings.BandMute[2].get(), 0);
    EXPECT_EQ(panels.log, (std::vector<std::string>{"create", "move -1,-1"}));

    module->SetBandMute(2, true);
    module->Config();
    EXPECT_EQ(module->Path.Settings.BandMute[2].get(), 1);
    EXPECT_EQ(panels.log.size(), 2u);
}

TEST_F(LifecycleTest, QuitWritesTheModulesSection)
{
    module->Init();
    module->OnPanelMinimized(true);
    module->OnPanelMoved({2000, 40});
    module->Quit();
    EXPECT_FALSE(module->PanelOpen());
    EXPECT_EQ(Setting("ProcessNumber"), 0);
    EXPECT_EQ(Setting("Visible"), 1);
    EXPECT_EQ(Setting("Minimized"), 1);
    EXPECT_EQ(Setting("pos_x"), 992);
    EXPECT_EQ(Setting("pos_y"), 40);
    EXPECT_EQ(panels.log.back(), "destroy");
}

TEST_F(LifecycleTest, ClosingThePanelIsRememberedAtQuit)
{
    module->Init();
    module->OnPanelMoved({120, 80});
    module->OnPanelClosed();
    EXPECT_FALSE(module->PanelOpen());
    module->OnPanelMoved({600, 600}); // no window any more: nothing is stored from here
    module->Quit();
    EXPECT_EQ(Setting("Visible"), 0);
    EXPECT_EQ(Setting("pos_x"), 120);
    EXPECT_EQ(Setting("pos_y"), 80);
}

TEST_F(LifecycleTest, WithoutAPanelTheModuleCarriesOn)
{
    module->SetPanelFactory(nullptr);
    module->Init();
    module->Config();
    EXPECT_FALSE(module->PanelOpen());
    module->Quit();
    EXPECT_EQ(Setting("Visible"), 1);
    EXPECT_EQ(Setting("pos_x"), -99);
}

} // namespace
} // namespace qex
