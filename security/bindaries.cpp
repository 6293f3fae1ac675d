#include "bindaries.h"

#include "password_hash.h"
#include "security_error.h"
#include "sql_table.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <iomanip>
#include <sstream>

namespace {

std::string localNow(const char* format)
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::ostringstream text;
    text << std::put_time(&local, format);
    return text.str();
}

bool sameTextIgnoringCase(const std::string& a, const std::string& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

} // namespace

SqlTable* TuilBindary::DataSet() const
{
    return DataSource ? DataSource->DataSet : nullptr;
}

SqlTable& TuilBindary::RequireDataSet() const
{
    if (!DataSet())
        throw EuilSecurityError("The security database is not open");
    return *DataSet();
}

void TuilBindary::ReleaseDataSource(const TDataSource* component)
{
    if (component && component == DataSource)
        DataSource = nullptr;
}

bool TuilBindary::Find(const std::vector<std::string>& columns, const std::vector<std::string>& values, bool ignoreCase)
{
    SqlTable* table = DataSet();
    if (!table)
        return false;
    try {
        return table->Locate(columns, values, ignoreCase);
    } catch (const EDatabaseError&) {
        return false;
    }
}

bool TuilBindary::LocateKey(const std::string& value)
{
    return Find({KeyField()}, {value}, true);
}

std::string TuilBindary::Encrypt(const std::string& plain) const
{
    if (OnEncrypt) {
        std::string encrypted;
        OnEncrypt(const_cast<TuilBindary*>(this), plain, encrypted);
        return encrypted;
    }
    if (!Password.empty()) {
        std::ostringstream text;
        for (std::size_t i = 0; i < plain.size(); ++i)
            text << std::hex << std::setw(2) << std::setfill('0')
                 << (static_cast<unsigned char>(plain[i]) ^ static_cast<unsigned char>(Password[i % Password.size()]));
        return text.str();
    }
    return hashPassword(plain);
}

TuilPasswordMatch TuilBindary::Matches(const std::string& stored, const std::string& given, TuilPasswordForm form) const
{
    if (OnEncrypt || !Password.empty())
        return stored == Encrypt(given) ? TuilPasswordMatch::Match : TuilPasswordMatch::NoMatch;
    const bool hashed = isPasswordHash(stored);
    // The settings file keeps a copy of the stored form for the login at start.
    if (form == TuilPasswordForm::Stored && given == stored)
        return hashed ? TuilPasswordMatch::Match : TuilPasswordMatch::MatchAsTyped;
    if (hashed)
        return verifyPasswordHash(stored, given) ? TuilPasswordMatch::Match : TuilPasswordMatch::NoMatch;
    return stored == given ? TuilPasswordMatch::MatchAsTyped : TuilPasswordMatch::NoMatch;
}

bool TuilAccessBindary::Exists(const std::string& permission)
{
    return LocateKey(permission);
}

void TuilAccessBindary::FillNewRecord(SqlTable& table, const std::string& permission)
{
    table.SetString(PermissionField, permission);
}

bool TuilAccessBindary::Add(const std::string& permission)
{
    if (Exists(permission))
        return false;
    SqlTable* table = DataSet();
    if (!table)
        return false;
    table->Append();
    FillNewRecord(*table, permission);
    postOrCancel(*table);
    return true;
}

bool TuilAccessBindary::Remove(const std::string& permission)
{
    if (!Exists(permission))
        return false;
    DataSet()->Delete();
    return true;
}

void TuilOwnedAccessBindary::FillNewRecord(SqlTable& table, const std::string& permission)
{
    TuilAccessBindary::FillNewRecord(table, permission);
    if (SqlTable* owners = owner_.DataSet())
        table.SetString(OwnerField(), owners->AsString(OwnerKeyField()));
}

bool TuilOwnedAccessBindary::HasGrant(const std::string& owner, const std::string& permission)
{
    // The grants are the detail rows of the owner's record: they show once it is current.
    if (owner_.DataSet() && !owner_.LocateKey(owner))
        return false;
    return Find({PermissionField, OwnerField()}, {permission, owner}, true);
}

bool TuilOwnedAccessBindary::Grant(const std::string& owner, const std::string& permission)
{
    if (HasGrant(owner, permission))
        return false;
    SqlTable* table = DataSet();
    if (!table)
        return false;
    table->Append();
    table->SetString(PermissionField, permission);
    table->SetString(OwnerField(), owner);
    postOrCancel(*table);
    return true;
}

bool TuilOwnedAccessBindary::Revoke(const std::string& owner, const std::string& permission)
{
    if (!HasGrant(owner, permission))
        return false;
    DataSet()->Delete();
    return true;
}

TuilUserAccessBindary::TuilUserAccessBindary(TuilSecurityManager* manager, TuilUserBindary& users)
    : TuilOwnedAccessBindary(manager, users), users_(users)
{
}

const std::string& TuilUserAccessBindary::OwnerKeyField() const
{
    return users_.UserNameField;
}

TuilGroupAccessBindary::TuilGroupAccessBindary(TuilSecurityManager* manager, TuilGroupBindary& groups)
    : TuilOwnedAccessBindary(manager, groups), groups_(groups)
{
}

const std::string& TuilGroupAccessBindary::OwnerKeyField() const
{
    return groups_.GroupNameField;
}

void TuilUserBindary::ReleaseDataSource(const TDataSource* component)
{
    TuilBindary::ReleaseDataSource(component);
    UserPermissions.ReleaseDataSource(component);
}

bool TuilUserBindary::LocateKey(const std::string& value)
{
    return Find({UserNameField}, {value}, !CaseSensitiveUsername);
}

void TuilUserBindary::UpdateAccessInfo()
{
    SqlTable* table = DataSet();
    if (!table)
        return;
    try {
        table->Edit();
        if (!LastAccessField.empty())
            table->SetString(LastAccessField, localNow("%Y-%m-%d"));
        if (!LastAccessTimeField.empty())
            table->SetString(LastAccessTimeField, localNow("%H:%M:%S"));
        if (!AccessCountField.empty())
            table->SetInteger(AccessCountField, table->AsInteger(AccessCountField) + 1);
        table->Post();
    } catch (const std::exception&) {
        table->Cancel();
    }
}

bool TuilUserBindary::CurrentUserEnabled() const
{
    const SqlTable& table = RequireDataSet();
    if (table.IsBooleanField(EnabledField))
        return table.AsBoolean(EnabledField);
    const std::string value = table.AsString(EnabledField);
    return value != "0" && !sameTextIgnoringCase(value, "False");
}

void TuilUserBindary::StorePassword(const std::string& plain)
{
    SqlTable& table = RequireDataSet();
    const std::string stored = Encrypt(plain);
    table.Edit();
    table.SetString(PasswordField, stored);
    postOrCancel(table);
}

void TuilUserBindary::AppendNewUser()
{
    SqlTable& table = RequireDataSet();
    table.Append();
    if (!AccessCountField.empty())
        table.SetInteger(AccessCountField, 0);
    if (!CreatedDateField.empty())
        table.SetString(CreatedDateField, localNow("%Y-%m-%d"));
    if (!CreatedTimeField.empty())
        table.SetString(CreatedTimeField, localNow("%H:%M:%S"));
    if (!EnabledField.empty()) {
        if (table.IsBooleanField(EnabledField))
            table.SetBoolean(EnabledField, true);
        else
            table.SetInteger(EnabledField, 1);
    }
}

bool TuilGroupMembershipBindary::IsMember(const std::string& user, const std::string& group)
{
    SqlTable* table = DataSet();
    return table && table->Locate({UserNameField, GroupNameField}, {user, group}, true);
}

bool TuilGroupMembershipBindary::AddMember(const std::string& user, const std::string& group)
{
    SqlTable* table = DataSet();
    if (!table || Find({UserNameField}, {user}, true))
        return false;
    table->Append();
    table->SetString(UserNameField, user);
    table->SetString(GroupNameField, group);
    postOrCancel(*table);
    return true;
}

bool TuilGroupMembershipBindary::RemoveMember(const std::string& user, const std::string& group)
{
    if (!IsMember(user, group))
        return false;
    DataSet()->Delete();
    return true;
}

void TuilGroupBindary::ReleaseDataSource(const TDataSource* component)
{
    TuilBindary::ReleaseDataSource(component);
    GroupPermissions.ReleaseDataSource(component);
    GroupMembershipBindary.ReleaseDataSource(component);
}

bool TuilPermissionBindary::Exists(const std::string& permission)
{
    if (Storage == TuilPermissionStorage::psForm)
        return LocateKey(permission);
    return Find({PermissionField, FormNameField}, {permission, lastForm_}, false);
}

void TuilPermissionBindary::WritePermission(const std::string& permission, const std::string& items, int action)
{
    SqlTable& table = RequireDataSet();
    table.SetString(PermissionField, permission);
    if (!ItemField.empty())
        table.SetString(ItemField, items);
    if (!ActionField.empty())
        table.SetInteger(ActionField, action);
    if (!FormNameField.empty())
        table.SetString(FormNameField, lastForm_);
    postOrCancel(table);
}

void TuilPermissionBindary::SavePermission(const std::string& permission, const std::string& items, int action,
                                           const std::string& form)
{
    lastForm_ = form;
    SqlTable& table = RequireDataSet();
    if (Exists(permission))
        table.Edit();
    else
        table.Append();
    WritePermission(permission, items, action);
}

bool TuilPermissionBindary::UpdatePermission(const std::string& permission, const std::string& items, int action,
                                             const std::string& form)
{
    lastForm_ = form;
    if (!Exists(permission))
        return false;
    DataSet()->Edit();
    WritePermission(permission, items, action);
    return true;
}
