// The program without a window: `qex --headless` and the other command-line options, the files
// of an installed copy, and what the program tells its operator on standard error.

#include "qex_process.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <regex>
#include <sched.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const std::string kVirtualStart = "qex: started: input \"Test signal (virtual)\", output \"Silent output (virtual)\"\n";
const std::string kRealtimeRefused = "qex: The audio threads may not use real-time priority on this computer";

std::string fileText(const fs::path& file)
{
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::size_t occurrences(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// The scheduling policy and real-time priority of every thread of a process.
std::vector<std::pair<int, int>> schedulingOfThreads(pid_t pid)
{
    std::vector<std::pair<int, int>> threads;
    std::error_code ec;
    for (const auto& task : fs::directory_iterator(fs::path("/proc") / std::to_string(pid) / "task", ec)) {
        const std::string stat = fileText(task.path() / "stat");
        // The fields after the command name, which ends with the last parenthesis: the state is
        // field 3, the real-time priority field 40 and the policy field 41.
        std::istringstream fields(stat.substr(stat.rfind(')') + 1));
        std::vector<std::string> values{std::istream_iterator<std::string>(fields), {}};
        if (values.size() > 38)
            threads.emplace_back(std::stoi(values[38]), std::stoi(values[37]));
    }
    return threads;
}

// Whether a process started from here may have RLIMIT_RTPRIO set to the value.
bool mayLimitRealtimePriorityTo(rlim_t value)
{
    const pid_t child = ::fork();
    if (child == 0) {
        const rlimit limit{value, value};
        ::_exit(::setrlimit(RLIMIT_RTPRIO, &limit) == 0 ? 0 : 1);
    }
    int status = 0;
    return ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

fs::perms permissionsOf(const fs::path& path)
{
    return fs::status(path).permissions() & fs::perms::all;
}

class Headless : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const auto& f : {app, sys, run})
            fs::create_directories(f);
        fs::permissions(run, fs::perms::owner_all);
        // ALSA configurations in which the default device opens (a sound card) or does not.
        std::ofstream(root.path() / "card.conf") << "pcm.!default {\n  type null\n}\n";
        std::ofstream(root.path() / "no-card.conf") << "\n";
    }

    // The "Devices" section selecting the virtual devices, with the identifiers the program
    // lists for them (the same with either ALSA configuration).
    std::string virtualDevices()
    {
        const QexRun listing = runQexToEnd(app, {"--list-devices"}, headless().environment);
        std::string section = "[Devices]\n";
        std::smatch found;
        const std::string output = listing.output;
        if (std::regex_search(output, found, std::regex(R"((-?\d+)  Test signal \(virtual\))")))
            section += "Input device=" + found[1].str() + "\nInput device name=Test signal (virtual)\n";
        if (std::regex_search(output, found, std::regex(R"((-?\d+)  Silent output \(virtual\))")))
            section += "Output device=" + found[1].str() + "\nOutput device name=Silent output (virtual)\n";
        return section;
    }

    QexLaunch headless(bool soundCard = false) const
    {
        QexLaunch launch;
        launch.arguments = {"--headless"};
        launch.environment = {
            {"ALSA_CONFIG_PATH", (root.path() / (soundCard ? "card.conf" : "no-card.conf")).string()}};
        return launch;
    }

    // Starts a headless copy and waits for its "started" line.
    std::unique_ptr<QexProcess> startHeadless(const QexLaunch& launch, const std::string& startedLine = kVirtualStart)
    {
        auto qex = std::make_unique<QexProcess>(app, sys, run, launch);
        EXPECT_TRUE(waitUntil([&] { return qex->standardError().find(startedLine) != std::string::npos; }))
            << qex->standardError();
        return qex;
    }

    // Stops a copy as a service manager does and expects a clean end.
    static void stop(QexProcess& qex)
    {
        qex.terminate();
        EXPECT_EQ(qex.waitForExit(20s), 0);
        EXPECT_NE(qex.standardError().find("\nqex: stopped: input overruns "), std::string::npos)
            << qex.standardError();
    }

    TempFolder root;
    fs::path app = root.path() / "app";
    fs::path sys = root.path() / "sys";
    fs::path run = root.path() / "run";
};

} // namespace

TEST_F(Headless, ProcessesOnTheVirtualDevicesUntilSigtermAndLeavesTheDatabaseAtRest)
{
    std::ofstream(app / "qex.ini") << virtualDevices();
    auto qex = startHeadless(headless());
    EXPECT_TRUE(fs::exists(app / "qex.mdb"));
    EXPECT_FALSE(fs::exists(app / "qex.sec"));
    EXPECT_FALSE(qex->waitForExit(3s)) << "processing goes on\n" << qex->standardError();

    QexProcess second(app, sys, run, headless());
    EXPECT_EQ(second.waitForExit(20s), 1);
    EXPECT_EQ(second.standardError(), "qex: not started: Lumavox QEX is running already\n");

    stop(*qex);
    EXPECT_TRUE(fs::exists(app / "qex.sec"));
    EXPECT_FALSE(fs::exists(app / "qex.mdb"));
    // The processing module ran and kept its section beside the program's.
    EXPECT_NE(fileText(app / "qex.ini").find("[OrvianAudioProcessor]"), std::string::npos);
}

TEST_F(Headless, AFirstStartWithoutASoundCardTakesTheVirtualDevicesAndKeepsThem)
{
    {
        auto qex = startHeadless(headless(false));
        stop(*qex);
    }
    // The next start finds the devices the first one chose, even where a sound card has come.
    {
        auto qex = startHeadless(headless(true));
        stop(*qex);
    }
    fs::remove(app / "qex.ini");
    auto qex =
        startHeadless(headless(true), "qex: started: input \"Default ALSA device\", output \"Default ALSA device\"\n");
    stop(*qex);
}

TEST_F(Headless, TheCommandLineOptionsAnswerAndWrongOnesAreRefused)
{
    const QexRun listing = runQexToEnd(app, {"--list-devices"});
    EXPECT_EQ(listing.exitCode, 0);
    EXPECT_TRUE(listing.output.starts_with("Input devices:\n  -1  ")) << listing.output;
    EXPECT_TRUE(
        std::regex_search(listing.output, std::regex(R"(\n +\d+  Test signal \(virtual\)\nOutput devices:\n  -1  )")))
        << listing.output;
    EXPECT_TRUE(listing.output.ends_with("  Silent output (virtual)\n")) << listing.output;

    const QexRun help = runQexToEnd(app, {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.output.find("--headless"), std::string::npos);
    const QexRun version = runQexToEnd(app, {"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.output.starts_with("Lumavox QEX ")) << version.output;

    const QexRun unknown = runQexToEnd(app, {"--frobnicate"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_EQ(unknown.output, "qex: unknown option '--frobnicate'\nTry 'qex --help'.\n");
    EXPECT_EQ(runQexToEnd(app, {"--headless", "--list-devices"}).exitCode, 2);
    EXPECT_EQ(runQexToEnd(app, {"--headless", "now"}).exitCode, 2);
    // None of them touched a file.
    EXPECT_EQ(std::distance(fs::directory_iterator(app), fs::directory_iterator()), 1);
}

TEST_F(Headless, AnInstalledCopyKeepsItsFilesInTheUsersFoldersWhereTheModuleFindsThemToo)
{
    const std::string devices = virtualDevices();
    const fs::path configHome = root.path() / "config";
    const fs::path dataHome = root.path() / "data";
    const fs::path settings = configHome / "lumavox-qex";
    const fs::path data = dataHome / "lumavox-qex";
    QexLaunch launch = headless();
    launch.environment.push_back({"XDG_CONFIG_HOME", configHome.string()});
    launch.environment.push_back({"XDG_DATA_HOME", dataHome.string()});
    launch.ordinaryUser = true;
    handOverToOrdinaryUser(root.path());
    fs::permissions(app,
                    fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read | fs::perms::group_exec |
                        fs::perms::others_read | fs::perms::others_exec);

    // The first start makes the folders, readable by their owner only.
    {
        auto qex = startHeadless(launch);
        EXPECT_TRUE(fs::exists(data / "qex.mdb"));
        stop(*qex);
    }
    EXPECT_EQ(permissionsOf(settings), fs::perms::owner_all);
    EXPECT_EQ(permissionsOf(data), fs::perms::owner_all);
    EXPECT_TRUE(fs::is_directory(data / "PRESETS"));
    EXPECT_TRUE(fs::exists(data / "qex.sec"));
    EXPECT_NE(fileText(settings / "qex.ini").find("[OrvianAudioProcessor]"), std::string::npos);

    // The program reads its devices there (with a sound card it would take the default device
    // otherwise), and the module its preset number there and the preset in the data folder: a
    // damaged one is set aside.
    std::ofstream(settings / "qex.ini") << devices << "[OrvianAudioProcessor]\nProcessNumber=3\n";
    std::ofstream(data / "PRESETS" / "QEX$3.dat") << "damaged";
    handOverToOrdinaryUser(root.path());
    launch.environment.front().second = (root.path() / "card.conf").string();
    {
        auto qex = startHeadless(launch);
        stop(*qex);
    }
    EXPECT_TRUE(fs::exists(data / "PRESETS" / "QEX$3.dat.damaged"));
    EXPECT_EQ(std::distance(fs::directory_iterator(app), fs::directory_iterator()), 1) << "nothing beside the program";
    fs::permissions(app, fs::perms::owner_all);
}

TEST_F(Headless, RefusedRealTimePriorityIsToldOnceAndProcessingGoesOnAtNormalPriority)
{
    QexLaunch launch = headless();
    launch.ordinaryUser = true;
    launch.realtimePriorityLimit = 0;
    // No system bus, so no RealtimeKit either.
    launch.environment.push_back({"DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + (root.path() / "no-bus").string()});
    std::ofstream(app / "qex.ini") << virtualDevices(); // "Higher", the design priority, asks for real time
    handOverToOrdinaryUser(root.path());
    auto qex = startHeadless(launch);
    // Every audio thread is refused; the operator is told once.
    EXPECT_TRUE(waitUntil([&] { return qex->standardError().find(kRealtimeRefused) != std::string::npos; }));
    EXPECT_FALSE(qex->waitForExit(1s));
    stop(*qex);
    const std::string told = qex->standardError();
    EXPECT_EQ(occurrences(told, kRealtimeRefused), 1u) << told;
    EXPECT_NE(told.find("add the user to the group \"audio\""), std::string::npos);
    EXPECT_NE(told.find("/etc/security/limits.d/lumavox-qex.conf.example"), std::string::npos);
}

TEST_F(Headless, WhereAllowedTheAudioThreadsRunRealTime)
{
    QexLaunch launch = headless();
    launch.environment.push_back({"DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + (root.path() / "no-bus").string()});
    // "Higher", the design priority, asks for SCHED_RR 10: an ordinary account gets it within its
    // RLIMIT_RTPRIO, a privileged one as asked.
    std::pair<int, int> expected{SCHED_RR, 10};
    if (mayLimitRealtimePriorityTo(5)) {
        launch.ordinaryUser = true;
        launch.realtimePriorityLimit = 5;
        expected.second = 5;
    } else if (::geteuid() != 0) {
        GTEST_SKIP() << "the tests may not give a process real-time priority";
    }
    std::ofstream(app / "qex.ini") << virtualDevices();
    handOverToOrdinaryUser(root.path());
    auto qex = startHeadless(launch);
    EXPECT_TRUE(waitUntil([&] {
        const auto threads = schedulingOfThreads(qex->pid());
        return std::count(threads.begin(), threads.end(), expected) >= 2;
    })) << "the input and output threads run real-time";
    stop(*qex);
    EXPECT_EQ(qex->standardError().find(kRealtimeRefused), std::string::npos) << qex->standardError();
}

TEST_F(Headless, WhatAMessageBoxOfTheWindowSaysIsAlsoOnStandardError)
{
    // Security enabled and the database gone: the window reports the database that cannot be
    // opened, then nobody can log in and the stop request ends the program.
    std::ofstream(app / "qex.ini") << "[General]\nEnable Security=1\n";
    QexProcess qex(app, sys, run);
    const std::string line = "qex: unable to open database file: " + (app / "qex.mdb").string() + "\n";
    EXPECT_TRUE(waitUntil([&] { return qex.standardError().find(line) != std::string::npos; })) << qex.standardError();
    qex.terminate();
    EXPECT_EQ(qex.waitForExit(20s), 0);
    const std::string told = qex.standardError();
    EXPECT_TRUE(told.starts_with("qex: ")) << told;
    EXPECT_EQ(told.find('\r'), std::string::npos);
}
