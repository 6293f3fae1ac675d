// Logins against a real database file: names, passwords and their storage, disabled users,
// grants from users and groups, access stamps, and what a failed login leaves behind.

#include "security_fixture.h"

#include "security/password_hash.h"

namespace {

using Strings = std::vector<std::string>;

class SecurityManager : public SecurityFixture {
protected:
    std::string storedPassword(const std::string& user)
    {
        EXPECT_TRUE(tblUsers.Locate("LoginName", user, true)) << user;
        return tblUsers.AsString("Password");
    }
};

} // namespace

TEST_F(SecurityManager, UserNamesAreFoundInAnyCaseAndPasswordsOnlyExactlyAsTyped)
{
    addUser("Studio1", "On Air");
    EXPECT_TRUE(manager.Login("studio1", "On Air"));
    EXPECT_TRUE(manager.LoggedIn());
    EXPECT_EQ(manager.CurrentUser(), "studio1") << "the name as typed";
    EXPECT_FALSE(manager.Login("STUDIO1", "on air"));
    EXPECT_FALSE(manager.Login("STUDIO1", "On Air "));
    EXPECT_FALSE(manager.Login("nobody", "On Air"));
    EXPECT_TRUE(manager.Login("STUDIO1", "On Air"));
}

TEST_F(SecurityManager, PasswordsAreStoredHashedAndNeverInClear)
{
    addUser("night", "Tr0ub4dor&3");
    addUser("morning", "Tr0ub4dor&3");
    EXPECT_TRUE(isPasswordHash(storedPassword("night")));
    EXPECT_NE(storedPassword("night"), storedPassword("morning")) << "each hash has its own salt";

    ASSERT_TRUE(manager.Login("night", "Tr0ub4dor&3"));
    manager.ChangePassword("correct horse battery");
    EXPECT_FALSE(manager.Login("night", "Tr0ub4dor&3"));
    EXPECT_TRUE(manager.Login("night", "correct horse battery"));

    db.Close();
    const std::string bytes = fileBytes();
    EXPECT_EQ(bytes.find("Tr0ub4dor&3"), std::string::npos);
    EXPECT_EQ(bytes.find("correct horse battery"), std::string::npos);
}

TEST_F(SecurityManager, APasswordKeptAsTypedLogsInOnceByExactComparisonAndIsStoredHashedThen)
{
    execute("INSERT INTO Users (LoginName, Password, Enabled) VALUES ('legacy', 'OldSecret', 1)");
    EXPECT_FALSE(manager.Login("legacy", "oldsecret"));
    EXPECT_EQ(storedPassword("legacy"), "OldSecret") << "a failed attempt changes nothing";
    EXPECT_TRUE(manager.Login("legacy", "OldSecret"));
    EXPECT_TRUE(isPasswordHash(storedPassword("legacy")));
    EXPECT_TRUE(manager.Login("legacy", "OldSecret"));
    EXPECT_FALSE(manager.Login("legacy", "oldsecret"));

    // The settings file's copy of the stored form logs in at start, and only in that form.
    const std::string stored = storedPassword("legacy");
    EXPECT_TRUE(manager.Login("legacy", stored, TuilPasswordForm::Stored));
    EXPECT_FALSE(manager.Login("legacy", stored)) << "a copied hash typed into the login dialog";
}

TEST_F(SecurityManager, AFailedLoginAfterAGoodOneLogsOutLocksEverythingAndKeepsTheCurrentUser)
{
    RecordingForm form;
    for (const char* name : {"btnPlay", "btnStop", "btnBypass", "btnView", "btnPref", "btnClose", "Usermanagement1"})
        form.components[name];
    TuilFormPolicy policy(form);
    policy.SetSecurityManager(&manager);
    policy.Loaded();
    addUser("guest", "guest");

    ASSERT_TRUE(manager.Login("admin", ""));
    EXPECT_EQ(manager.PermissionList().size(), 6u) << "all of the Administrators group";
    for (const auto& [name, state] : form.components)
        EXPECT_TRUE(state.enabled) << name;

    EXPECT_FALSE(manager.Login("guest", "wrong"));
    EXPECT_FALSE(manager.LoggedIn());
    EXPECT_TRUE(manager.PermissionList().empty());
    for (const auto& [name, state] : form.components)
        EXPECT_FALSE(state.enabled) << name;
    EXPECT_EQ(manager.CurrentUser(), "admin");
    EXPECT_EQ(manager.CurrentPassword(), "wrong");

    // The password change that follows is admin's.
    manager.ChangePassword("n3w");
    EXPECT_TRUE(manager.Login("admin", "n3w"));
    EXPECT_EQ(
        auditActions(),
        (Strings{"admin: Login", "admin: Password changed", "guest: Login failed", "admin: Logout", "admin: Login"}));
}

TEST_F(SecurityManager, DisabledUsersAreRefusedAfterTheirPasswordIsChecked)
{
    addUser("relief", "pw", false);
    std::string refused;
    int failures = 0;
    manager.OnDisabledLogin = [&](TuilSecurityManager&, const std::string& user) { refused = user; };
    manager.OnFailedLogin = [&](TuilSecurityManager&) { ++failures; };

    EXPECT_FALSE(manager.Login("Relief", "wrong"));
    EXPECT_EQ(failures, 1);
    EXPECT_TRUE(refused.empty());
    EXPECT_FALSE(manager.Login("Relief", "pw"));
    EXPECT_EQ(refused, "Relief");
    EXPECT_EQ(failures, 1);
    EXPECT_FALSE(manager.LoggedIn());
    EXPECT_EQ(auditActions().front(), "Relief: Login refused");

    // A column that is not boolean: 0 or "False" disable, 1 enables.
    execute("CREATE TABLE Staff (LoginName TEXT, Password TEXT, Enabled INTEGER, AccessCount INTEGER);"
            "INSERT INTO Staff VALUES ('one', 'x', 1, 0), ('zero', 'x', 0, 0), ('text', 'x', 'False', 0)");
    SqlTable staff(db, "Staff");
    staff.Open();
    TDataSource dsStaff{&staff};
    manager.UserBindary.DataSource = &dsStaff;
    EXPECT_TRUE(manager.Login("one", "x"));
    EXPECT_FALSE(manager.Login("zero", "x"));
    EXPECT_FALSE(manager.Login("text", "x"));
}

TEST_F(SecurityManager, PermissionsComeFromTheUsersGrantsAndFromEveryGroupTheUserIsIn)
{
    addUser("op", "pw");
    execute("INSERT INTO UserAccess (UserName, Permission) VALUES ('op', 'Start/Stop'), ('op', 'Start/Stop'),"
            " ('op', 'Bypass');"
            "INSERT INTO Groups (GroupName, GroupID) VALUES ('Ops', ''), ('Night', '');"
            "INSERT INTO GroupAccess (GroupName, Permission) VALUES ('Ops', 'start/stop'), ('Ops', 'Exit'),"
            " ('Night', 'Parameters');"
            "INSERT INTO GroupMembers (GroupName, UserName) VALUES ('ops', 'Op'), ('Night', 'op')");
    ASSERT_TRUE(manager.Login("op", "pw"));
    // Direct grants as often as their rows say, group grants once, in the order they were found.
    EXPECT_EQ(manager.PermissionList(), (Strings{"Start/Stop", "Start/Stop", "Bypass", "Exit", "Parameters"}));
    EXPECT_TRUE(manager.HasPermission("PARAMETERS"));
    EXPECT_FALSE(manager.HasPermission("Preferences"));
}

TEST_F(SecurityManager, EveryLoginIsCountedAndStampedUnlessTheStampCannotBeWritten)
{
    ASSERT_TRUE(manager.Login("admin", ""));
    ASSERT_TRUE(manager.Login("admin", ""));
    ASSERT_TRUE(tblUsers.Locate("LoginName", "admin", false));
    EXPECT_EQ(tblUsers.AsInteger("AccessCount"), 2);
    EXPECT_EQ(tblUsers.AsString("LastAccess").size(), 10u);
    EXPECT_EQ(tblUsers.AsString("LastAccTime").size(), 8u);

    addUser("new", "pw");
    manager.UserBindary.AccessCountField = "NoSuchColumn";
    EXPECT_TRUE(manager.Login("new", "pw"));
    ASSERT_TRUE(tblUsers.Locate("LoginName", "new", false));
    EXPECT_EQ(tblUsers.AsInteger("AccessCount"), 0);
    EXPECT_TRUE(tblUsers.IsNull("LastAccess")) << "nothing of the stamp is stored";
    EXPECT_EQ(tblUsers.CurrentState(), SqlTable::State::Browse);
}
