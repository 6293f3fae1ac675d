// Form policies loaded from the Permissions rows of the main window and applied at each login.

#include "security_fixture.h"

namespace {

using Strings = std::vector<std::string>;

class FormPolicy : public SecurityFixture {
protected:
    FormPolicy()
    {
        for (const char* name : {"btnPlay", "btnStop", "btnBypass", "btnView", "btnPref", "btnClose", "pageX"})
            form.components[name];
        policy.SetSecurityManager(&manager);
        policy.Active = false; // as at start: switched on with security
        addUser("op", "pw");
    }

    RecordingForm form;
    TuilFormPolicy policy{form};
};

} // namespace

TEST_F(FormPolicy, ItemsComeFromTheFormsRowsAndControlsFollowEachLogin)
{
    policy.Loaded(); // security is not on yet: nothing is applied
    ASSERT_EQ(policy.Policies.size(), 6u);
    EXPECT_EQ(policy.Policies[0].PolicyName, "Start/Stop");
    EXPECT_EQ(policy.Policies[0].Items, (Strings{"btnPlay", "btnStop"}));
    EXPECT_EQ(policy.Policies[0].PolicyAction, TPolicyAction::paDisable);
    EXPECT_TRUE(form.components["btnView"].enabled);

    manager.UserBindary.UserPermissions.Grant("op", "start/stop");
    ASSERT_TRUE(manager.Login("op", "pw"));
    EXPECT_TRUE(form.components["btnPlay"].enabled);
    EXPECT_TRUE(form.components["btnStop"].enabled);
    for (const char* locked : {"btnBypass", "btnView", "btnPref", "btnClose"})
        EXPECT_FALSE(form.components[locked].enabled) << locked;
    EXPECT_TRUE(form.components["pageX"].enabled) << "named by no item";
}

TEST_F(FormPolicy, AComponentNamedBySeveralItemsIsFreedByAnyOfThemAndEachActionActsOnItsOwnProperty)
{
    execute("DELETE FROM Permissions;"
            "INSERT INTO Permissions (Permission, Action, Items, FormName) VALUES"
            " ('Run', 0, 'btnPlay, \"btnStop\" missing', 'FRMQEX'), ('Look', 1, 'btnPlay,pageX', 'frmQEX'),"
            " ('Also', 0, 'btnPlay', 'frmQEX'), ('Tune', 3, 'btnView', 'frmQEX'), ('Odd', 257, 'btnPref', 'frmQEX'),"
            " ('Else', 2, 'btnClose', 'frmQEX'), ('Other', 1, 'btnClose', 'frmOther')");
    std::vector<std::pair<std::string, bool>> custom;
    policy.OnCustomSecure = [&](TuilFormPolicy&, const std::string& name, bool secure) {
        custom.emplace_back(name, secure);
    };
    policy.LoadPolicies("frmQEX");
    ASSERT_EQ(policy.Policies.size(), 6u);
    EXPECT_EQ(policy.Policies[0].Items, (Strings{"btnPlay", "btnStop", "missing"}));
    EXPECT_EQ(policy.Policies[4].PolicyAction, TPolicyAction::paHide) << "the action is taken as a byte";

    manager.UserBindary.UserPermissions.Grant("op", "also");
    manager.UserBindary.UserPermissions.Grant("op", "Tune");
    ASSERT_TRUE(manager.Login("op", "pw"));
    EXPECT_TRUE(form.components["btnPlay"].enabled) << "freed by Also although Run is not held";
    EXPECT_FALSE(form.components["btnPlay"].visible) << "Look is not held";
    EXPECT_FALSE(form.components["btnStop"].enabled);
    EXPECT_FALSE(form.components["pageX"].visible);
    EXPECT_FALSE(form.components["btnView"].readOnly) << "read-only lifted";
    EXPECT_FALSE(form.components["btnPref"].visible);
    // Restricted at the logout that begins the login and again when applied after it.
    EXPECT_EQ(custom, (std::vector<std::pair<std::string, bool>>{{"btnClose", true}, {"btnClose", true}}));
    EXPECT_TRUE(form.components["btnClose"].visible);

    EXPECT_FALSE(manager.Login("op", "wrong"));
    EXPECT_FALSE(form.components["btnPlay"].enabled);
    EXPECT_TRUE(form.components["btnView"].readOnly);
}

TEST_F(FormPolicy, WithoutRowsForTheFormLoginsChangeNothing)
{
    execute("DELETE FROM Permissions WHERE FormName = 'frmQEX'");
    policy.Loaded();
    EXPECT_TRUE(policy.Policies.empty());
    EXPECT_FALSE(manager.Login("op", "wrong"));
    EXPECT_TRUE(manager.Login("op", "pw"));
    for (const auto& [name, state] : form.components)
        EXPECT_TRUE(state.enabled && state.visible) << name;
    EXPECT_EQ(tblPermissions.RecordCount(), 0) << "the filter is off again";
}

TEST(CommaText, BlanksAndCommasSeparateAndQuotesGroup)
{
    EXPECT_EQ(splitCommaText(" a,b  c,,\"d e,f\" \"g\"\"h\""), (Strings{"a", "b", "c", "d e,f", "g\"h"}));
    EXPECT_TRUE(splitCommaText("  , ").empty());
}
