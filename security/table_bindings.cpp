#include "table_bindings.h"

#include "security_manager.h"

void bindSecurityTables(TuilSecurityManager& manager, const TuilSecurityDataSources& sources)
{
    TuilUserBindary& users = manager.UserBindary;
    users.DataSource = sources.Users;
    users.UserNameField = "LoginName";
    users.UserPermissions.DataSource = sources.UserAccess;

    TuilGroupBindary& groups = manager.GroupBindary;
    groups.DataSource = sources.Groups;
    groups.GroupDescriptionField = "GroupID";
    groups.GroupPermissions.DataSource = sources.GroupAccess;
    groups.GroupPermissions.GroupNameField = "GroupName";
    groups.GroupMembershipBindary.DataSource = sources.GroupMembers;

    manager.PermissionBindary.DataSource = sources.Permissions;
    manager.PermissionBindary.Storage = TuilPermissionStorage::psTable;
}
