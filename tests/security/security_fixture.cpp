#include "security_fixture.h"

#include "security/security_schema.h"
#include "security/table_bindings.h"

#include <fstream>
#include <sstream>

SecurityFixture::SecurityFixture()
{
    createSecurityDatabase(file);
    db.Open(file.string());
    tblUserAccess.SetMaster(&tblUsers, "LoginName", "UserName");
    tblGroupAccess.SetMaster(&tblGroups, "GroupName", "GroupName");
    for (SqlTable* table : {&tblUsers, &tblUserAccess, &tblPermissions, &tblGroups, &tblGroupAccess, &tblGroupMembers})
        table->Open();
    bindSecurityTables(manager, {&dsUsers, &dsUserAccess, &dsGroups, &dsGroupAccess, &dsGroupMembers, &dsPermissions});
    manager.AuditTrail = &audit;
}

void SecurityFixture::addUser(const std::string& name, const std::string& password, bool enabled)
{
    TuilUserBindary& users = manager.UserBindary;
    users.AppendNewUser();
    tblUsers.SetString("LoginName", name);
    tblUsers.SetString("Password", users.Encrypt(password));
    tblUsers.SetBoolean("Enabled", enabled);
    tblUsers.Post();
}

void SecurityFixture::execute(const std::string& sql)
{
    // The tables are snapshots: read them again after writing behind their back.
    db.Execute(sql);
    for (SqlTable* table :
         {&tblUsers, &tblUserAccess, &tblPermissions, &tblGroups, &tblGroupAccess, &tblGroupMembers}) {
        table->Close();
        table->Open();
    }
}

std::string SecurityFixture::fileBytes() const
{
    std::ifstream in(file, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::vector<std::string> SecurityFixture::column(SqlTable& table, const std::string& name)
{
    std::vector<std::string> values;
    for (table.First(); !table.Eof(); table.Next())
        values.push_back(table.AsString(name));
    return values;
}

std::vector<std::string> SecurityFixture::auditActions() const
{
    std::vector<std::string> actions;
    for (const TuilAuditEntry& entry : audit.Entries())
        actions.push_back(entry.UserName + ": " + entry.Action);
    return actions;
}

void RecordingForm::Secure(const std::string& name, TPolicyAction action, bool secure)
{
    State& state = components.at(name);
    if (action == TPolicyAction::paDisable)
        state.enabled = !secure;
    else if (action == TPolicyAction::paHide)
        state.visible = !secure;
    else if (action == TPolicyAction::paReadOnly)
        state.readOnly = secure;
}
