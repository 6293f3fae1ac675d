#pragma once
// The bindings ("bindaries") through which access control reaches its tables: each holds the
// data source and the names of the columns it works on, and carries out the record operations
// (find, add, remove, stamp). Nothing else in access control names a table or a column.

#include "data_source.h"

#include <functional>
#include <string>
#include <vector>

class SqlTable;
class TuilSecurityManager;

// Computes the stored form of a password in place of the built-in one.
using TuilEncryptEvent = std::function<void(void* sender, const std::string& plainText, std::string& encryptedText)>;

// How a stored password answered a given one.
enum class TuilPasswordMatch { NoMatch, Match, MatchAsTyped };

// How a password reaches a login: typed by someone, or the stored form copied into the settings
// file for the login at start.
enum class TuilPasswordForm { Typed, Stored };

class TuilBindary {
public:
    explicit TuilBindary(TuilSecurityManager* manager) : manager_(manager) {}
    virtual ~TuilBindary() = default;
    TuilBindary(const TuilBindary&) = delete;
    TuilBindary& operator=(const TuilBindary&) = delete;

    TDataSource* DataSource = nullptr;
    std::string Password; // an encoding key; empty: passwords are hashed
    TuilEncryptEvent OnEncrypt;

    TuilSecurityManager* SecurityManager() const { return manager_; }
    // The table behind the data source, or none.
    SqlTable* DataSet() const;
    // The same for a write, which needs it.
    SqlTable& RequireDataSet() const;

    // Forgets the data source when that data source is being removed.
    virtual void ReleaseDataSource(const TDataSource* component);
    // Moves to the first record whose key column equals the value, ignoring letter case; false
    // (also on a database error) when there is none.
    virtual bool LocateKey(const std::string& value);
    // The stored form of a password.
    std::string Encrypt(const std::string& plain) const;
    // Whether a given password answers the stored one. A value kept as typed (a database made
    // elsewhere) matches by exact comparison and says so, so that the caller can store it anew.
    TuilPasswordMatch Matches(const std::string& stored, const std::string& given, TuilPasswordForm form) const;

protected:
    virtual const std::string& KeyField() const = 0;
    // Finds the first record whose columns equal the values; a database error counts as not found.
    bool Find(const std::vector<std::string>& columns, const std::vector<std::string>& values, bool ignoreCase);

private:
    TuilSecurityManager* manager_;
};

// Grants of one permission each: the rows of a table with a permission column.
class TuilAccessBindary : public TuilBindary {
public:
    using TuilBindary::TuilBindary;

    std::string PermissionField = "Permission";

    virtual bool Exists(const std::string& permission);
    virtual bool Add(const std::string& permission);
    bool Remove(const std::string& permission);

protected:
    const std::string& KeyField() const override { return PermissionField; }
    // Sets the columns of a record being appended, before it is posted.
    virtual void FillNewRecord(SqlTable& table, const std::string& permission);
};

// Grants that belong to an owner (a user or a group): the detail rows of the owner's table.
class TuilOwnedAccessBindary : public TuilAccessBindary {
public:
    TuilOwnedAccessBindary(TuilSecurityManager* manager, TuilBindary& owner) : TuilAccessBindary(manager), owner_(owner)
    {
    }

    bool Grant(const std::string& owner, const std::string& permission);
    bool Revoke(const std::string& owner, const std::string& permission);
    bool HasGrant(const std::string& owner, const std::string& permission);

protected:
    virtual const std::string& OwnerField() const = 0;
    // The owner's key column in the owner's table.
    virtual const std::string& OwnerKeyField() const = 0;
    void FillNewRecord(SqlTable& table, const std::string& permission) override;

private:
    TuilBindary& owner_;
};

class TuilUserBindary;
class TuilGroupBindary;

class TuilUserAccessBindary : public TuilOwnedAccessBindary {
public:
    TuilUserAccessBindary(TuilSecurityManager* manager, TuilUserBindary& users);

    std::string UserNameField = "UserName";

protected:
    const std::string& OwnerField() const override { return UserNameField; }
    const std::string& OwnerKeyField() const override;

private:
    TuilUserBindary& users_;
};

class TuilGroupAccessBindary : public TuilOwnedAccessBindary {
public:
    TuilGroupAccessBindary(TuilSecurityManager* manager, TuilGroupBindary& groups);

    std::string GroupNameField = "UserName";

protected:
    const std::string& OwnerField() const override { return GroupNameField; }
    const std::string& OwnerKeyField() const override;

private:
    TuilGroupBindary& groups_;
};

class TuilUserBindary : public TuilBindary {
public:
    explicit TuilUserBindary(TuilSecurityManager* manager) : TuilBindary(manager), UserPermissions(manager, *this) {}

    std::string UserNameField = "UserName";
    std::string FullNameField = "FullName";
    std::string PasswordField = "Password";
    std::string AccessCountField = "AccessCount";
    std::string CreatedDateField = "CreatedDate";
    std::string CreatedTimeField = "CreatedTime";
    std::string EnabledField = "Enabled";
    std::string LastAccessField = "LastAccess";
    std::string LastAccessTimeField = "LastAccTime";
    bool CaseSensitiveUsername = false;
    bool CaseSensitivePassword = true;
    TuilUserAccessBindary UserPermissions;

    void ReleaseDataSource(const TDataSource* component) override;
    bool LocateKey(const std::string& value) override;
    // Stamps the current user's last access and counts it; any error cancels the whole change
    // and is not reported.
    void UpdateAccessInfo();
    // Whether the current user may log in. A non-boolean column disables with 0 or "False";
    // new users get 1 there.
    bool CurrentUserEnabled() const;
    // Replaces the current user's password by its stored form.
    void StorePassword(const std::string& plain);
    // Appends a user record (not posted) with what a new user starts with: no accesses, created
    // now, enabled. Columns whose names are empty are left out.
    void AppendNewUser();

protected:
    const std::string& KeyField() const override { return UserNameField; }
};

// Memberships of users in groups; a user joins at most one group through AddMember.
class TuilGroupMembershipBindary : public TuilBindary {
public:
    using TuilBindary::TuilBindary;

    std::string UserNameField = "UserName";
    std::string GroupNameField = "GroupName";

    // Errors of the find pass on.
    bool IsMember(const std::string& user, const std::string& group);
    bool AddMember(const std::string& user, const std::string& group);
    bool RemoveMember(const std::string& user, const std::string& group);

protected:
    const std::string& KeyField() const override { return UserNameField; }
};

class TuilGroupBindary : public TuilBindary {
public:
    explicit TuilGroupBindary(TuilSecurityManager* manager)
        : TuilBindary(manager), GroupPermissions(manager, *this), GroupMembershipBindary(manager)
    {
    }

    std::string GroupNameField = "GroupName";
    std::string GroupDescriptionField = "Description";
    TuilGroupAccessBindary GroupPermissions;
    TuilGroupMembershipBindary GroupMembershipBindary;

    void ReleaseDataSource(const TDataSource* component) override;

protected:
    const std::string& KeyField() const override { return GroupNameField; }
};

enum class TuilPermissionStorage { psForm, psTable };

// The named permissions, with the form restrictions they lift.
class TuilPermissionBindary : public TuilAccessBindary {
public:
    using TuilAccessBindary::TuilAccessBindary;

    std::string ActionField = "Action";
    std::string ItemField = "Items";
    std::string FormNameField = "FormName";
    TuilPermissionStorage Storage = TuilPermissionStorage::psForm;

    // With table storage a permission exists for the form of the last write, letter case significant.
    bool Exists(const std::string& permission) override;
    void SavePermission(const std::string& permission, const std::string& items, int action, const std::string& form);
    bool UpdatePermission(const std::string& permission, const std::string& items, int action, const std::string& form);

private:
    void WritePermission(const std::string& permission, const std::string& items, int action);

    std::string lastForm_;
};
