// The table layer over the security database: finds, edits, details and filters.

#include "temp_folder.h"

#include "security/security_schema.h"
#include "security/sql_table.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using Columns = std::vector<std::string>;

namespace {

class SecurityDatabase : public ::testing::Test {
protected:
    void SetUp() override
    {
        createSecurityDatabase(file);
        db.Open(file.string());
        db.Execute(
            "INSERT INTO Users (LoginName, Password, Enabled) VALUES ('Studio1', 'On Air', 1), ('night', 'x', 0);"
            "INSERT INTO UserAccess (UserName, Permission) VALUES ('night', 'Start'), ('Studio1', 'Stop'),"
            " ('Studio1', 'Bypass'), ('admin', 'Start');"
            "DELETE FROM Permissions;" // only the rows below, not those a new database starts with
            "INSERT INTO Permissions (Permission, Action, Items, FormName) VALUES"
            " ('Start', 0, 'btnPlay', 'frmQEX'), ('Other', 1, 'x', 'frmOther'), ('Stop', 0, 'btnStop', 'FRMQEX');");
    }

    std::vector<std::string> column(SqlTable& table, const std::string& name)
    {
        std::vector<std::string> values;
        for (table.First(); !table.Eof(); table.Next())
            values.push_back(table.AsString(name));
        return values;
    }

    TempFolder dir;
    fs::path file = dir.path() / "qex.mdb";
    SqlDatabase db;
};

} // namespace

TEST_F(SecurityDatabase, LocateMatchesExactlyOrIgnoringCaseAndKeepsTheCursorWhenNotFound)
{
    SqlTable users(db, "Users");
    users.Open();
    EXPECT_EQ(users.RecordCount(), 3);
    EXPECT_FALSE(users.Locate("LoginName", "studio1", false));
    EXPECT_EQ(users.AsString("LoginName"), "admin");
    ASSERT_TRUE(users.Locate("LoginName", "studio1", true));
    EXPECT_EQ(users.AsString("Password"), "On Air");
    EXPECT_FALSE(users.Locate(Columns{"LoginName", "Password"}, Columns{"Studio1", "on air"}, false));
    EXPECT_TRUE(users.Locate(Columns{"LoginName", "Password"}, Columns{"Studio1", "On Air"}, false));
    EXPECT_TRUE(users.IsBooleanField("Enabled"));
    EXPECT_FALSE(users.IsBooleanField("AccessCount"));
    EXPECT_THROW(users.Locate("NoSuchColumn", "x", true), EDatabaseError);
}

TEST_F(SecurityDatabase, EditsArePostedToTheFileAndCancelledEditsAreNot)
{
    SqlTable users(db, "Users");
    users.Open();
    ASSERT_TRUE(users.Locate("LoginName", "night", true));
    users.Edit();
    users.SetInteger("AccessCount", users.AsInteger("AccessCount") + 1);
    users.SetBoolean("Enabled", true);
    users.Post();
    users.Edit();
    users.SetString("Password", "changed");
    users.Cancel();
    users.Append();
    users.SetString("LoginName", "new");
    users.Post();
    EXPECT_EQ(users.AsString("LoginName"), "new");

    SqlTable again(db, "Users");
    again.Open();
    ASSERT_TRUE(again.Locate("LoginName", "night", false));
    EXPECT_EQ(again.AsInteger("AccessCount"), 1);
    EXPECT_TRUE(again.AsBoolean("Enabled"));
    EXPECT_EQ(again.AsString("Password"), "x");
    EXPECT_EQ(column(again, "LoginName"), (std::vector<std::string>{"admin", "Studio1", "night", "new"}));

    ASSERT_TRUE(again.Locate("LoginName", "Studio1", false));
    again.Delete();
    EXPECT_EQ(again.AsString("LoginName"), "night");
    SqlTable third(db, "Users");
    third.Open();
    EXPECT_EQ(third.RecordCount(), 3);
}

TEST_F(SecurityDatabase, ADetailShowsTheRowsOfTheMastersCurrentRecord)
{
    SqlTable users(db, "Users");
    SqlTable grants(db, "UserAccess");
    grants.SetMaster(&users, "LoginName", "UserName");
    users.Open();
    grants.Open();
    EXPECT_EQ(column(grants, "Permission"), (std::vector<std::string>{"Start"}));
    ASSERT_TRUE(users.Locate("LoginName", "studio1", true));
    EXPECT_EQ(column(grants, "Permission"), (std::vector<std::string>{"Stop", "Bypass"}));

    grants.Append();
    grants.SetString("UserName", "Studio1");
    grants.SetString("Permission", "Exit");
    grants.Post();
    EXPECT_EQ(column(grants, "Permission"), (std::vector<std::string>{"Stop", "Bypass", "Exit"}));
    ASSERT_TRUE(users.Locate("LoginName", "night", true));
    EXPECT_EQ(grants.RecordCount(), 1);

    users.Close();
    EXPECT_TRUE(grants.IsEmpty());
}

TEST_F(SecurityDatabase, AFilterOnOneColumnIgnoresLetterCase)
{
    SqlTable permissions(db, "Permissions");
    permissions.Open();
    permissions.SetFilter("FormName", "frmQEX");
    permissions.SetFiltered(true);
    EXPECT_EQ(column(permissions, "Permission"), (std::vector<std::string>{"Start", "Stop"}));
    permissions.SetFiltered(false);
    permissions.ClearFilter();
    EXPECT_EQ(permissions.RecordCount(), 3);
}

TEST_F(SecurityDatabase, ClosingTheConnectionClosesItsTables)
{
    SqlTable users(db, "Users");
    users.Open();
    db.Close();
    EXPECT_FALSE(users.Active());
    EXPECT_THROW(users.First(), EDatabaseError);
    EXPECT_THROW(users.Open(), EDatabaseError);
}

TEST(SecurityDatabaseFile, CreationRefusesAnExistingFileAndOpeningRefusesJunk)
{
    TempFolder dir;
    const auto file = dir.path() / "qex.mdb";
    std::ofstream(file) << std::string(4096, 'J');
    EXPECT_THROW(createSecurityDatabase(file), EDatabaseError);
    SqlDatabase db;
    EXPECT_THROW(db.Open(file.string()), EDatabaseError);
    EXPECT_FALSE(db.Connected());
    EXPECT_THROW(db.Open((dir.path() / "missing.mdb").string()), EDatabaseError);
    EXPECT_FALSE(fs::exists(dir.path() / "missing.mdb"));
}

TEST(SecurityDatabaseFile, ACreationCutShortLeavesNoDatabaseFile)
{
    TempFolder dir;
    const auto file = dir.path() / "qex.mdb";
    // A child killed by its file-size limit in the middle of writing, as a power cut would.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        rlimit limit{512, 512};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        try {
            createSecurityDatabase(file);
        } catch (...) {
        }
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the creation was expected to be cut short";
    EXPECT_FALSE(fs::exists(file)) << "a half-made database would fail every later start";

    const auto countEntries = [&] {
        int entries = 0;
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.path()))
            ++entries;
        return entries;
    };
    const int leftovers = countEntries();
    createSecurityDatabase(file);
    SqlDatabase db;
    db.Open(file.string());
    SqlTable users(db, "Users");
    users.Open();
    EXPECT_EQ(users.AsString("LoginName"), "admin");
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(countEntries(), leftovers + 1) << "the file the database was built in was left behind";
}
