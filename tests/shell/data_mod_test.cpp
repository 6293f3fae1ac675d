// The data module on its own: the database it opens, and a database file it cannot open.

#include "isolated_run.h"
#include "modal_answerer.h"
#include "temp_folder.h"

#include "data_mod.h"
#include "security/security_schema.h"
#include "startup.h"

#include <QApplication>
#include <QComboBox>
#include <gtest/gtest.h>

#include <fstream>

namespace fs = std::filesystem;

namespace {

std::vector<std::pair<std::string, std::string>> childEnvironment(const TempFolder& root)
{
    fs::create_directories(root.path() / "sys");
    fs::create_directories(root.path() / "run");
    return {{"QEX_SYSTEM_DIR", (root.path() / "sys").string()}, {"XDG_RUNTIME_DIR", (root.path() / "run").string()}};
}

int argc = 1;
char arg0[] = "data_mod_test";
char* argv[] = {arg0, nullptr};

} // namespace

TEST(DataModule, OpensTheSixTablesAndListsTheLogins)
{
    if (isolated::inChild()) {
        QApplication app(argc, argv);
        ModalAnswerer operatorStandIn;
        TDataMod dataMod;
        EXPECT_EQ(operatorStandIn.count(), 0);
        EXPECT_EQ(AppFolder(), fs::current_path().string() + "/");
        for (SqlTable* t : {&dataMod.tblUsers, &dataMod.tblUserAccess, &dataMod.tblGroups, &dataMod.tblGroupAccess,
                            &dataMod.tblGroupMembers, &dataMod.tblPermissions})
            EXPECT_TRUE(t->Active()) << t->TableName();

        dataMod.tblUsers.Append();
        dataMod.tblUsers.SetString("LoginName", "studio");
        dataMod.tblUsers.Post();
        QComboBox logins;
        logins.addItem("stale");
        dataMod.FillLoginList(logins);
        ASSERT_EQ(logins.count(), 2);
        EXPECT_EQ(logins.itemText(0), "admin");
        EXPECT_EQ(logins.itemText(1), "studio");
        return;
    }
    TempFolder root;
    const auto result = isolated::runCurrentTestIn(root.path(), childEnvironment(root));
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_TRUE(fs::exists(root.path() / "qex.mdb"));
}

TEST(DataModule, ADatabaseFromBeforeTheAuditTrailGetsItsTableAndKeepsEverythingElse)
{
    if (isolated::inChild()) {
        QApplication app(argc, argv);
        ModalAnswerer operatorStandIn;
        TDataMod dataMod;
        EXPECT_EQ(operatorStandIn.count(), 0);
        EXPECT_TRUE(dataMod.ADOConnection1.TableExists("AuditLog"));
        EXPECT_TRUE(dataMod.AuditTrail.Record("admin", "Start"));
        EXPECT_EQ(dataMod.tblUsers.RecordCount(), 2);
        EXPECT_TRUE(dataMod.tblUsers.Locate("LoginName", "old", false));
        EXPECT_EQ(dataMod.tblUsers.AsString("Password"), "kept");
        return;
    }
    TempFolder root;
    createSecurityDatabase(root.path() / "qex.sec");
    {
        SqlDatabase older;
        older.Open((root.path() / "qex.sec").string());
        older.Execute("DROP TABLE AuditLog; INSERT INTO Users (LoginName, Password) VALUES ('old', 'kept')");
    }
    const auto result = isolated::runCurrentTestIn(root.path(), childEnvironment(root));
    EXPECT_EQ(result.exitCode, 0) << result.output;
}

TEST(DataModule, AFileThatIsNoDatabaseIsReportedAndTheProgramGoesOn)
{
    if (isolated::inChild()) {
        QApplication app(argc, argv);
        ModalAnswerer operatorStandIn;
        TDataMod dataMod;
        ASSERT_EQ(operatorStandIn.count(), 1);
        const auto& box = operatorStandIn.seen().front();
        EXPECT_EQ(box.title, "Lumavox QEX");
        EXPECT_TRUE(box.text.contains("file is not a database")) << box.text.toStdString();
        EXPECT_FALSE(dataMod.ADOConnection1.Connected());
        EXPECT_FALSE(dataMod.tblUsers.Active());
        return;
    }
    TempFolder root;
    std::ofstream(root.path() / "qex.sec", std::ios::binary) << std::string(8192, 'J');
    const auto result = isolated::runCurrentTestIn(root.path(), childEnvironment(root));
    EXPECT_EQ(result.exitCode, 0) << result.output;
    // The file keeps its working name; nothing replaced it with a new database.
    EXPECT_EQ(fs::file_size(root.path() / "qex.mdb"), 8192u);
}

TEST(StartUp, AModuleFileThatCannotBeWrittenEndsTheProgramWithCodeOne)
{
    if (isolated::inChild()) {
        QApplication app(argc, argv);
        ModalAnswerer operatorStandIn;
        EXPECT_EQ(runQex(app), 1);
        ASSERT_EQ(operatorStandIn.count(), 1);
        EXPECT_TRUE(operatorStandIn.seen().front().text.startsWith("Cannot create file \"/proc/qex-lib/qexdsp.so\""))
            << operatorStandIn.seen().front().text.toStdString();
        return;
    }
    TempFolder root;
    auto environment = childEnvironment(root);
    environment[0].second = "/proc/qex-lib";
    const auto result = isolated::runCurrentTestIn(root.path(), environment);
    EXPECT_EQ(result.exitCode, 0) << result.output;
}
