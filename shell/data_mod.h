#pragma once
// The data module: the security database connection, its six tables and its audit trail, and
// the guard that keeps a single running copy of the program. Created before the main window.

#include "platform/single_instance_qt.h"
#include "security/audit_trail.h"
#include "security/data_source.h"
#include "security/sql_database.h"
#include "security/sql_table.h"

#include <QObject>
#include <filesystem>
#include <functional>
#include <string>

class QComboBox;

// The folder of the program's data (the security database and the presets) with a trailing
// separator: the executable's folder, or for an installed copy the user's data folder
// (platform/app_folders.h). Set once by the data module.
const std::string& AppFolder();

// The settings file qex.ini in the program's settings folder, which is AppFolder() for a copy
// beside its executable and the user's settings folder for an installed copy.
std::filesystem::path AppSettingsFile();

class TDataMod : public QObject {
public:
    // A second copy of the program ends in the constructor, with the exit code onSecondCopy
    // gives (0 when none is given).
    explicit TDataMod(const std::function<int()>& onSecondCopy = {}, QObject* parent = nullptr);
    ~TDataMod() override;

    // Sets AppFolder, gives the database file its working name and opens the database.
    void DataModuleCreate();

    // Closes the database and gives its file the resting name qex.sec, unless a file of that
    // name is there already.
    void CloseDatabase();

    // Clears the combo box and adds every user's login name in table order.
    void FillLoginList(QComboBox& combo);

    SqlDatabase ADOConnection1;
    SqlTable tblUsers{ADOConnection1, "Users"};
    SqlTable tblUserAccess{ADOConnection1, "UserAccess"};
    SqlTable tblGroups{ADOConnection1, "Groups"};
    SqlTable tblGroupAccess{ADOConnection1, "GroupAccess"};
    SqlTable tblGroupMembers{ADOConnection1, "GroupMembers"};
    SqlTable tblPermissions{ADOConnection1, "Permissions"};
    TDataSource dsUsers{&tblUsers};
    TDataSource dsUserAccess{&tblUserAccess};
    TDataSource dsGroups{&tblGroups};
    TDataSource dsGroupAccess{&tblGroupAccess};
    TDataSource dsGroupMembers{&tblGroupMembers};
    TDataSource dsPermissions{&tblPermissions};
    TuilAuditTrail AuditTrail{ADOConnection1};
    qex::platform::SingleInstanceGuard AppInstances1;

private:
    void OpenDatabase();
    bool SecurityEnabledInSettings() const;
};
