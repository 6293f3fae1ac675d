// The bindings' record operations on the program's tables: grants, memberships, permissions.

#include "security_fixture.h"

namespace {

using Strings = std::vector<std::string>;
using Bindaries = SecurityFixture;

} // namespace

TEST_F(Bindaries, AGrantIsAddedOnceAndRevokedByOwnerAndPermission)
{
    addUser("op", "pw");
    execute("INSERT INTO Groups (GroupName) VALUES ('Operators')");
    TuilUserAccessBindary& grants = manager.UserBindary.UserPermissions;
    EXPECT_TRUE(grants.Grant("op", "Bypass"));
    EXPECT_FALSE(grants.Grant("OP", "bypass")) << "already held";
    EXPECT_TRUE(grants.Grant("op", "Exit"));
    ASSERT_TRUE(manager.UserBindary.LocateKey("Op"));
    EXPECT_EQ(column(tblUserAccess, "Permission"), (Strings{"Bypass", "Exit"}));

    // Add works on the current user.
    EXPECT_TRUE(grants.Add("Parameters"));
    EXPECT_FALSE(grants.Add("parameters"));
    EXPECT_EQ(column(tblUserAccess, "UserName"), (Strings{"op", "op", "op"}));

    EXPECT_TRUE(grants.Revoke("op", "BYPASS"));
    EXPECT_FALSE(grants.Revoke("op", "Bypass"));
    EXPECT_FALSE(grants.Revoke("admin", "Exit"));
    ASSERT_TRUE(manager.UserBindary.LocateKey("op"));
    EXPECT_EQ(column(tblUserAccess, "Permission"), (Strings{"Exit", "Parameters"}));

    TuilGroupAccessBindary& groupGrants = manager.GroupBindary.GroupPermissions;
    EXPECT_FALSE(groupGrants.Grant("administrators", "Bypass"));
    EXPECT_TRUE(groupGrants.Grant("Operators", "Bypass"));
    EXPECT_TRUE(groupGrants.HasGrant("operators", "BYPASS"));
}

TEST_F(Bindaries, AUserJoinsAtMostOneGroup)
{
    TuilGroupMembershipBindary& members = manager.GroupBindary.GroupMembershipBindary;
    EXPECT_FALSE(members.AddMember("ADMIN", "Operators")) << "admin is an administrator";
    EXPECT_TRUE(members.AddMember("op", "Operators"));
    EXPECT_FALSE(members.AddMember("Op", "Night"));
    EXPECT_EQ(column(tblGroupMembers, "UserName"), (Strings{"admin", "op"}));
    EXPECT_TRUE(members.IsMember("OP", "operators"));
    EXPECT_FALSE(members.RemoveMember("op", "Night"));
    EXPECT_TRUE(members.RemoveMember("op", "Operators"));
    EXPECT_TRUE(members.AddMember("op", "Night"));
}

TEST_F(Bindaries, PermissionsAreSavedForTheirFormAndUpdatedOnlyWhereTheyExist)
{
    TuilPermissionBindary& permissions = manager.PermissionBindary;
    permissions.SavePermission("Bypass", "btnBypass,btnView", 1, "frmQEX");
    EXPECT_FALSE(permissions.UpdatePermission("bypass", "x", 0, "frmQEX")) << "letter case counts";
    EXPECT_FALSE(permissions.UpdatePermission("Bypass", "x", 0, "frmOther"));
    permissions.SavePermission("Bypass", "btnOther", 0, "frmOther");
    EXPECT_TRUE(permissions.UpdatePermission("Bypass", "btnBypass", 3, "frmQEX"));

    tblPermissions.SetFilter("Permission", "Bypass");
    tblPermissions.SetFiltered(true);
    EXPECT_EQ(column(tblPermissions, "FormName"), (Strings{"frmQEX", "frmOther"}));
    EXPECT_EQ(column(tblPermissions, "Items"), (Strings{"btnBypass", "btnOther"}));
    EXPECT_EQ(column(tblPermissions, "Action"), (Strings{"3", "0"}));
}

TEST_F(Bindaries, WithoutADataSourceEveryFindAnswersNotFound)
{
    manager.ReleaseDataSource(&dsUsers);
    manager.ReleaseDataSource(&dsUserAccess);
    EXPECT_FALSE(manager.UserBindary.LocateKey("admin"));
    EXPECT_FALSE(manager.UserBindary.UserPermissions.HasGrant("admin", "Exit"));
    EXPECT_FALSE(manager.UserBindary.UserPermissions.Grant("admin", "Exit"));
    EXPECT_TRUE(manager.GroupBindary.LocateKey("administrators"));
}
