#include "security_manager.h"

#include "audit_trail.h"
#include "sql_table.h"

#include <algorithm>
#include <cctype>

namespace {

bool sameIgnoringCase(const std::string& a, const std::string& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

std::string upperCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

// Opens a table for the length of an operation and closes it again if it was closed before.
class TableOpenFor {
public:
    explicit TableOpenFor(SqlTable& table) : table_(table), wasOpen_(table.Active()) { table_.Open(); }
    ~TableOpenFor()
    {
        if (!wasOpen_)
            table_.Close();
    }
    TableOpenFor(const TableOpenFor&) = delete;
    TableOpenFor& operator=(const TableOpenFor&) = delete;

private:
    SqlTable& table_;
    bool wasOpen_;
};

} // namespace

TuilSecurityManager::~TuilSecurityManager()
{
    const auto policies = policies_;
    policies_.clear();
    for (TuilRegisteredPolicy* policy : policies)
        policy->SecurityManagerReleased();
}

bool TuilSecurityManager::Login(const std::string& user, const std::string& password, TuilPasswordForm form)
{
    TableOpenFor users(UserBindary.RequireDataSet());
    Logout();
    DoBeforeLogin();
    if (!UserBindary.LocateKey(user)) {
        DoFailedLogin(user, password);
        return false;
    }
    CheckPassword(user, password, form);
    return loggedIn_;
}

void TuilSecurityManager::CheckPassword(const std::string& user, const std::string& password, TuilPasswordForm form)
{
    SqlTable& users = UserBindary.RequireDataSet();
    const std::string stored = users.AsString(UserBindary.PasswordField);
    const std::string given = UserBindary.CaseSensitivePassword ? password : upperCase(password);
    currentPassword_ = given;
    const TuilPasswordMatch match = UserBindary.Matches(stored, given, form);
    if (match == TuilPasswordMatch::NoMatch) {
        DoFailedLogin(user, password);
        return;
    }
    if (!UserBindary.CurrentUserEnabled()) {
        DoDisabledLogin(user);
        return;
    }
    loggedIn_ = true;
    currentUser_ = user;
    if (match == TuilPasswordMatch::MatchAsTyped) {
        // A password kept as typed (a database made elsewhere) is stored hashed from now on; if
        // that cannot be written, the next login tries again.
        try {
            UserBindary.StorePassword(given);
        } catch (const std::exception&) {
        }
    }
    LoadPermissions();
    UserBindary.UpdateAccessInfo();
    ApplyAllPolicies();
    RecordAs(user, "Login");
    DoSuccessfulLogin();
}

void TuilSecurityManager::Logout()
{
    if (loggedIn_)
        RecordAs(currentUser_, "Logout");
    loggedIn_ = false;
    permissions_.clear();
    ApplyAllPolicies();
}

void TuilSecurityManager::ApplyAllPolicies()
{
    for (TuilRegisteredPolicy* policy : std::vector<TuilRegisteredPolicy*>(policies_))
        policy->ApplyPolicies();
}

void TuilSecurityManager::LoadPermissions()
{
    permissions_.clear();
    if (SqlTable* grants = UserBindary.UserPermissions.DataSet(); grants && grants->Active()) {
        for (grants->First(); !grants->Eof(); grants->Next())
            permissions_.push_back(grants->AsString(UserBindary.UserPermissions.PermissionField));
    }
    SqlTable* groups = GroupBindary.DataSet();
    SqlTable* groupGrants = GroupBindary.GroupPermissions.DataSet();
    if (!groups || !groups->Active() || !groupGrants)
        return;
    for (groups->First(); !groups->Eof(); groups->Next()) {
        const std::string group = groups->AsString(GroupBindary.GroupNameField);
        if (!GroupBindary.GroupMembershipBindary.IsMember(currentUser_, group))
            continue;
        for (groupGrants->First(); !groupGrants->Eof(); groupGrants->Next()) {
            const std::string permission = groupGrants->AsString(GroupBindary.GroupPermissions.PermissionField);
            if (!HasPermission(permission))
                permissions_.push_back(permission);
        }
    }
}

void TuilSecurityManager::ChangePassword(const std::string& password)
{
    TableOpenFor users(UserBindary.RequireDataSet());
    if (!UserBindary.LocateKey(currentUser_))
        return;
    UserBindary.StorePassword(password);
    RecordAs(currentUser_, "Password changed");
}

bool TuilSecurityManager::HasPermission(const std::string& name) const
{
    return std::any_of(permissions_.begin(), permissions_.end(),
                       [&](const std::string& held) { return sameIgnoringCase(held, name); });
}

void TuilSecurityManager::RegisterPolicy(TuilRegisteredPolicy* policy)
{
    if (policy && std::find(policies_.begin(), policies_.end(), policy) == policies_.end())
        policies_.push_back(policy);
}

void TuilSecurityManager::UnregisterPolicy(TuilRegisteredPolicy* policy)
{
    policies_.erase(std::remove(policies_.begin(), policies_.end(), policy), policies_.end());
}

void TuilSecurityManager::ReleaseDataSource(const TDataSource* component)
{
    UserBindary.ReleaseDataSource(component);
    GroupBindary.ReleaseDataSource(component);
    PermissionBindary.ReleaseDataSource(component);
}

void TuilSecurityManager::Audit(const std::string& action, const std::string& detail)
{
    RecordAs(loggedIn_ ? currentUser_ : std::string(), action, detail);
}

void TuilSecurityManager::RecordAs(const std::string& user, const std::string& action, const std::string& detail)
{
    if (AuditTrail)
        AuditTrail->Record(user, action, detail);
}

void TuilSecurityManager::DoBeforeLogin()
{
    if (OnBeforeLogin)
        OnBeforeLogin(*this);
}

void TuilSecurityManager::DoSuccessfulLogin()
{
    if (OnSuccessfulLogin)
        OnSuccessfulLogin(*this);
}

void TuilSecurityManager::DoFailedLogin(const std::string& user, const std::string& password)
{
    RecordAs(user, "Login failed");
    if (OnFailedLogin)
        OnFailedLogin(*this);
    if (OnFailedLoginDetail)
        OnFailedLoginDetail(*this, user, password);
}

void TuilSecurityManager::DoDisabledLogin(const std::string& user)
{
    RecordAs(user, "Login refused", "the user is disabled");
    if (OnDisabledLogin)
        OnDisabledLogin(*this, user);
}
