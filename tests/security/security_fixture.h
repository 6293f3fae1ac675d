#pragma once
// A new security database in a temporary folder, its six tables open as the data module opens
// them, and a security manager bound to them with the program's column names.

#include "temp_folder.h"

#include "security/audit_trail.h"
#include "security/data_source.h"
#include "security/form_policy.h"
#include "security/security_manager.h"
#include "security/sql_table.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

class SecurityFixture : public ::testing::Test {
protected:
    SecurityFixture();

    // Adds a user with a password stored as the program stores it.
    void addUser(const std::string& name, const std::string& password, bool enabled = true);
    // Rows written by other means than the program, straight into the file.
    void execute(const std::string& sql);
    // The file's bytes.
    std::string fileBytes() const;
    // One column of every visible row, first to last.
    static std::vector<std::string> column(SqlTable& table, const std::string& name);
    // The actions of the audit trail, newest first.
    std::vector<std::string> auditActions() const;

    TempFolder dir;
    std::filesystem::path file = dir.path() / "qex.mdb";
    SqlDatabase db;
    SqlTable tblUsers{db, "Users"};
    SqlTable tblUserAccess{db, "UserAccess"};
    SqlTable tblGroups{db, "Groups"};
    SqlTable tblGroupAccess{db, "GroupAccess"};
    SqlTable tblGroupMembers{db, "GroupMembers"};
    SqlTable tblPermissions{db, "Permissions"};
    TDataSource dsUsers{&tblUsers};
    TDataSource dsUserAccess{&tblUserAccess};
    TDataSource dsGroups{&tblGroups};
    TDataSource dsGroupAccess{&tblGroupAccess};
    TDataSource dsGroupMembers{&tblGroupMembers};
    TDataSource dsPermissions{&tblPermissions};
    TuilAuditTrail audit{db};
    TuilSecurityManager manager;
};

// A form of named components that records what the policies set.
class RecordingForm : public TuilPolicyForm {
public:
    struct State {
        bool enabled = true;
        bool visible = true;
        bool readOnly = false;
    };
    std::map<std::string, State> components;

    std::string FormName() const override { return "frmQEX"; }
    bool HasComponent(const std::string& name) const override { return components.count(name) > 0; }
    void Secure(const std::string& name, TPolicyAction action, bool secure) override;
};
