// Start-up of the real program: the module file, the database file names, the single running
// copy and the new database of a first start.

#include "qex_process.h"
#include "temp_folder.h"

#include "platform/single_instance_qt.h"
#include "security/sql_database.h"
#include "security/sql_table.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/file.h>
#include <tuple>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

std::string fileBytes(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void writeBytes(const fs::path& file, const std::string& bytes)
{
    std::ofstream(file, std::ios::binary) << bytes;
}

// Names, sizes, modification times and (for small files) contents of every file in a folder.
using FileState = std::tuple<std::uintmax_t, fs::file_time_type, std::string>;
std::map<std::string, FileState> snapshot(const fs::path& folder)
{
    std::map<std::string, FileState> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const auto size = entry.file_size();
        files[entry.path().filename().string()] = {size, entry.last_write_time(),
                                                   size < 65536 ? fileBytes(entry.path()) : std::string()};
    }
    return files;
}

class Startup : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const auto& f : {app, sys, run})
            fs::create_directories(f);
        fs::permissions(run, fs::perms::owner_all);
    }

    // Starts the program and waits until it answers other copies and has written its files.
    std::unique_ptr<QexProcess> start()
    {
        auto qex = std::make_unique<QexProcess>(app, sys, run);
        EXPECT_TRUE(
            waitUntil([&] { return listening(run) && fs::exists(app / "qex.mdb") && fs::exists(sys / "qexdsp.so"); }));
        return qex;
    }

    static bool listening(const fs::path& runtimeFolder)
    {
        for (const auto& entry : fs::directory_iterator(runtimeFolder))
            if (entry.is_socket())
                return true;
        return false;
    }

    // Closes the program as a logout does and expects a normal end.
    void stop(QexProcess& qex)
    {
        qex.terminate();
        EXPECT_EQ(qex.waitForExit(20s), 0);
    }

    TempFolder root;
    fs::path app = root.path() / "app";
    fs::path sys = root.path() / "sys";
    fs::path run = root.path() / "run";
};

} // namespace

TEST_F(Startup, FirstStartWritesTheModuleAndANewDatabaseThatRestsAsQexSec)
{
    auto qex = start();
    EXPECT_FALSE(fs::exists(app / "qex.sec"));
    stop(*qex);

    EXPECT_EQ(fileBytes(sys / "qexdsp.so"), fileBytes(QEX_MODULE_FILE));
    ASSERT_TRUE(fs::exists(app / "qex.sec"));
    EXPECT_FALSE(fs::exists(app / "qex.mdb"));
    EXPECT_EQ(fs::status(app / "qex.sec").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);

    SqlDatabase db;
    db.Open((app / "qex.sec").string());
    for (const char* table : {"Users", "UserAccess", "Groups", "GroupAccess", "GroupMembers", "Permissions"})
        EXPECT_TRUE(db.TableExists(table)) << table;
    SqlTable users(db, "Users");
    users.Open();
    ASSERT_EQ(users.RecordCount(), 1);
    EXPECT_EQ(users.AsString("LoginName"), "admin");
    EXPECT_EQ(users.AsString("Password"), "");
    EXPECT_TRUE(users.AsBoolean("Enabled"));
    EXPECT_EQ(users.AsInteger("AccessCount"), 0);
    SqlTable permissions(db, "Permissions");
    permissions.Open();
    for (const char* column : {"Permission", "Action", "Items", "FormName"})
        EXPECT_TRUE(permissions.HasField(column)) << column;
}

TEST_F(Startup, AnExistingModuleFileIsNeverReplaced)
{
    writeBytes(sys / "qexdsp.so", "module of an older release");
    const auto written = fs::last_write_time(sys / "qexdsp.so");
    auto qex = start();
    stop(*qex);
    EXPECT_EQ(fileBytes(sys / "qexdsp.so"), "module of an older release");
    EXPECT_EQ(fs::last_write_time(sys / "qexdsp.so"), written);

    // The second start of a fresh installation keeps the file the first one wrote.
    fs::remove(sys / "qexdsp.so");
    auto first = start();
    stop(*first);
    const auto firstWrite = fs::last_write_time(sys / "qexdsp.so");
    auto second = start();
    stop(*second);
    EXPECT_EQ(fs::last_write_time(sys / "qexdsp.so"), firstWrite);
}

TEST_F(Startup, TheRestingDatabaseIsRenamedForTheRunAndBack)
{
    {
        auto first = start();
        stop(*first);
    }
    const std::string database = fileBytes(app / "qex.sec");
    auto qex = start();
    EXPECT_FALSE(fs::exists(app / "qex.sec"));
    stop(*qex);
    EXPECT_FALSE(fs::exists(app / "qex.mdb"));
    EXPECT_EQ(fileBytes(app / "qex.sec").size(), database.size());
}

TEST_F(Startup, WithBothFilesPresentTheRestingOneIsLeftAlone)
{
    {
        auto first = start();
        stop(*first);
    }
    fs::copy_file(app / "qex.sec", app / "qex.mdb");
    writeBytes(app / "qex.sec", "somebody's backup");

    auto qex = start();
    stop(*qex);
    EXPECT_EQ(fileBytes(app / "qex.sec"), "somebody's backup");
    // The working file cannot take the resting name while the other holds it.
    EXPECT_TRUE(fs::exists(app / "qex.mdb"));
}

TEST_F(Startup, ASecondCopyHandsOverAndEndsWithoutTouchingAnyFile)
{
    auto first = start();
    // The first copy has finished writing its module file.
    ASSERT_TRUE(waitUntil([&] { return fs::file_size(sys / "qexdsp.so") == fs::file_size(QEX_MODULE_FILE); }));
    const auto appBefore = snapshot(app);
    const auto sysBefore = snapshot(sys);

    QexProcess second(app, sys, run);
    EXPECT_EQ(second.waitForExit(20s), 0);
    EXPECT_EQ(snapshot(app), appBefore);
    EXPECT_EQ(snapshot(sys), sysBefore);

    // The first copy is still running and closes normally.
    EXPECT_FALSE(first->waitForExit(200ms));
    stop(*first);
    EXPECT_TRUE(fs::exists(app / "qex.sec"));
}

TEST_F(Startup, ACopyThatHoldsTheLockButDoesNotAnswerStillCountsAsRunning)
{
    // A running copy stuck before it answers (opening a device, say): it holds the lock and
    // serves no socket.
    const std::string key = qex::platform::instanceKeyFor(QString::fromStdString(sys.string())).toStdString();
    const int lock = ::open((run / (key + ".lock")).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(::flock(lock, LOCK_EX | LOCK_NB), 0);

    QexProcess second(app, sys, run);
    const auto appBefore = snapshot(app);
    EXPECT_EQ(second.waitForExit(30s), 0);
    ::close(lock);
    EXPECT_EQ(snapshot(app), appBefore) << "a second copy writes no file";
    EXPECT_FALSE(fs::exists(sys / "qexdsp.so"));
}

TEST_F(Startup, CopiesWithAnotherSystemFolderRunSideBySide)
{
    auto first = start();
    TempFolder other;
    fs::create_directories(other.path() / "app");
    QexProcess second(other.path() / "app", other.path() / "sys", run);
    EXPECT_TRUE(waitUntil([&] { return fs::exists(other.path() / "app" / "qex.mdb"); }));
    int sockets = 0;
    EXPECT_TRUE(waitUntil([&] {
        sockets = 0;
        for (const auto& entry : fs::directory_iterator(run))
            sockets += entry.is_socket() ? 1 : 0;
        return sockets == 2;
    }));
    EXPECT_FALSE(second.waitForExit(200ms));
    second.terminate();
    EXPECT_EQ(second.waitForExit(20s), 0);
    stop(*first);
}

TEST_F(Startup, AStopRequestWhileStartUpAsksSomethingStillEndsTheProgramNormally)
{
    // Device names from another machine: the start-up shows its devices-changed notice.
    std::ofstream(app / "qex.ini") << "[Devices]\nInput device name=Studio card A\nOutput device name=Studio card B\n";
    auto qex = start();
    stop(*qex);
    EXPECT_TRUE(fs::exists(app / "qex.sec"));
    EXPECT_FALSE(fs::exists(app / "qex.mdb"));
    // The settings were saved on the way out.
    EXPECT_NE(fileBytes(app / "qex.ini").find("Priority=4"), std::string::npos);
}

TEST_F(Startup, AStopRequestEndsTheProgramEvenWhenTheSettingsCannotBeWritten)
{
    // A settings file that is a folder cannot be read or written.
    fs::create_directory(app / "qex.ini");
    auto qex = start();
    stop(*qex);
    EXPECT_TRUE(fs::exists(app / "qex.sec")) << "the database did not get its resting name";
    EXPECT_FALSE(fs::exists(app / "qex.mdb"));
    EXPECT_TRUE(fs::is_directory(app / "qex.ini"));
}
