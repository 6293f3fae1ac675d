#pragma once
// The one object that knows who is logged in and what that user may do: it checks a user name
// and password against the Users table, refuses disabled users, builds the effective permission
// list from the user's own grants and those of the user's groups, stamps the access, and drives
// every registered form policy (everything locked at each login attempt, released after a
// successful one).

#include "bindaries.h"

#include <functional>
#include <string>
#include <vector>

class TuilAuditTrail;

// What the manager needs of a registered form policy.
class TuilRegisteredPolicy {
public:
    virtual void ApplyPolicies() = 0;
    // The manager is going away; the policy forgets it.
    virtual void SecurityManagerReleased() = 0;

protected:
    ~TuilRegisteredPolicy() = default;
};

class TuilSecurityManager {
public:
    TuilSecurityManager() = default;
    ~TuilSecurityManager();
    TuilSecurityManager(const TuilSecurityManager&) = delete;
    TuilSecurityManager& operator=(const TuilSecurityManager&) = delete;

    TuilUserBindary UserBindary{this};
    TuilGroupBindary GroupBindary{this};
    TuilPermissionBindary PermissionBindary{this};
    bool Active = true;
    static constexpr const char* Version = "2.3.0.0";
    // Where logins, logouts and password changes are recorded; none: not recorded.
    TuilAuditTrail* AuditTrail = nullptr;

    using TuilNotifyEvent = std::function<void(TuilSecurityManager& sender)>;
    TuilNotifyEvent OnBeforeLogin;
    TuilNotifyEvent OnFailedLogin;
    std::function<void(TuilSecurityManager& sender, const std::string& userName, const std::string& password)>
        OnFailedLoginDetail;
    TuilNotifyEvent OnSuccessfulLogin;
    std::function<void(TuilSecurityManager& sender, const std::string& userName)> OnDisabledLogin;

    bool LoggedIn() const { return loggedIn_; }
    // The user name given at the last successful login; a logout keeps it.
    const std::string& CurrentUser() const { return currentUser_; }
    // The password given at the latest attempt whose user name was found, right or wrong.
    const std::string& CurrentPassword() const { return currentPassword_; }
    const std::vector<std::string>& PermissionList() const { return permissions_; }
    const std::vector<TuilRegisteredPolicy*>& FormPolicies() const { return policies_; }
    // Set by the login dialog for the attempt in progress.
    int LoginAttempt = 0;
    int RemainingAttempts = 0;

    // Logs the user in, after logging out whoever was logged in. A password in its stored form
    // is the copy the settings file keeps for the login at start.
    bool Login(const std::string& user, const std::string& password, TuilPasswordForm form = TuilPasswordForm::Typed);
    void Logout();
    // Stores a new password for the current user.
    void ChangePassword(const std::string& password);
    // Whether the current user holds the permission, letter case ignored.
    virtual bool HasPermission(const std::string& name) const;
    virtual void LoadPermissions();

    virtual void RegisterPolicy(TuilRegisteredPolicy* policy);
    virtual void UnregisterPolicy(TuilRegisteredPolicy* policy);
    // Passes the removal of a data source on to the bindings.
    void ReleaseDataSource(const TDataSource* component);

    // Records an action in the audit trail under the logged-in user (none while nobody is).
    void Audit(const std::string& action, const std::string& detail = {});

protected:
    virtual void DoBeforeLogin();
    virtual void DoSuccessfulLogin();
    virtual void DoFailedLogin(const std::string& user, const std::string& password);
    virtual void DoDisabledLogin(const std::string& user);

private:
    void CheckPassword(const std::string& user, const std::string& password, TuilPasswordForm form);
    void ApplyAllPolicies();
    void RecordAs(const std::string& user, const std::string& action, const std::string& detail = {});

    bool loggedIn_ = false;
    std::string currentUser_;
    std::string currentPassword_;
    std::vector<std::string> permissions_;
    std::vector<TuilRegisteredPolicy*> policies_;
};
