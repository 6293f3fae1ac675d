#include "data_mod.h"

#include "message_boxes.h"
#include "platform/app_folders.h"
#include "platform/file_rename.h"
#include "platform/profile.h"
#include "platform/system_folder.h"
#include "security/security_schema.h"

#include <QComboBox>

#include <filesystem>

namespace {

std::string appFolder;
std::filesystem::path settingsFolder;

constexpr const char* kWorkingName = "qex.mdb";
constexpr const char* kRestingName = "qex.sec";

} // namespace

const std::string& AppFolder()
{
    return appFolder;
}

std::filesystem::path AppSettingsFile()
{
    return qex::platform::profileFileIn(settingsFolder, "qex.ini");
}

TDataMod::TDataMod(const std::function<int()>& onSecondCopy, QObject* parent)
    : QObject(parent),
      AppInstances1(qex::platform::instanceKeyFor(QString::fromStdString(qex::platform::systemFolder().string())))
{
    // The grant tables show the rows of the current user or group.
    tblUserAccess.SetMaster(&tblUsers, "LoginName", "UserName");
    tblGroupAccess.SetMaster(&tblGroups, "GroupName", "GroupName");

    // A second copy ends here, before it touches any file.
    AppInstances1.OnSecondCopy = onSecondCopy;
    AppInstances1.check();
    DataModuleCreate();
}

TDataMod::~TDataMod() = default;

void TDataMod::DataModuleCreate()
{
    const qex::platform::AppFolders folders = qex::platform::appFolders();
    appFolder = folders.data.string() + "/";
    settingsFolder = folders.settings;
    try {
        qex::platform::createAppFolders(folders);
        OpenDatabase();
    } catch (const std::exception& error) {
        showErrorMessage(error.what());
    }
}

void TDataMod::OpenDatabase()
{
    const std::filesystem::path working = appFolder + kWorkingName;
    const std::filesystem::path resting = appFolder + kRestingName;
    std::error_code ec;
    if (std::filesystem::exists(resting, ec))
        qex::platform::renameFileNoReplace(resting, working);
    else if (!std::filesystem::exists(working, ec) && !SecurityEnabledInSettings())
        createSecurityDatabase(working); // first start: nobody has made a database yet
    // With security enabled a missing database was deleted: a new one would let anybody in as
    // "admin", so it fails to open as any missing file does.

    ADOConnection1.Close();
    ADOConnection1.Open(working.string());
    ensureAuditLog(ADOConnection1);
    for (SqlTable* table : {&tblUsers, &tblUserAccess, &tblPermissions, &tblGroups, &tblGroupAccess, &tblGroupMembers})
        table->Open();
}

void TDataMod::CloseDatabase()
{
    ADOConnection1.Close();
    const std::filesystem::path working = appFolder + kWorkingName;
    std::error_code ec;
    if (std::filesystem::exists(working, ec))
        qex::platform::renameFileNoReplace(working, appFolder + kRestingName);
}

bool TDataMod::SecurityEnabledInSettings() const
{
    const qex::platform::IniFile settings(AppSettingsFile());
    return settings.readBool("General", "Enable Security", false);
}

void TDataMod::FillLoginList(QComboBox& combo)
{
    combo.clear();
    tblUsers.First();
    while (!tblUsers.Eof()) {
        combo.addItem(QString::fromStdString(tblUsers.AsString("LoginName")));
        tblUsers.Next();
    }
}
