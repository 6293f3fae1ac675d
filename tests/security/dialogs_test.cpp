// The access-control dialogs driven as an operator drives them, offscreen: login attempts,
// password changes, user and group administration, and form policies on real widgets.

#include "modal_answerer.h"
#include "modal_script.h"
#include "security_fixture.h"

#include "change_password_dlg.h"
#include "edit_group_form.h"
#include "edit_user_form.h"
#include "header_band.h"
#include "login_dlg.h"
#include "security_dlg.h"
#include "widget_policy_form.h"

#include "security/password_hash.h"
#include "security/security_error.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest/QTest>
#include <algorithm>

using namespace std::chrono_literals;

namespace {

class QtApplication : public ::testing::Environment {
public:
    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "qex-dialogs";
        static char* argv[] = {name, nullptr};
        app_ = new QApplication(argc, argv);
        QApplication::setApplicationName(QStringLiteral("Lumavox QEX"));
    }
    void TearDown() override { delete app_; }

private:
    QApplication* app_ = nullptr;
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new QtApplication);

using Dialogs = SecurityFixture;

// Types a user name and password into the login form and confirms.
ModalScript::Step attempt(const QString& user, const QString& password)
{
    return [=](QDialog& dialog) {
        auto& form = static_cast<TuilLoginForm&>(dialog);
        typeInto(form.txtUsername, user);
        typeInto(form.txtPassword, password);
        clickWhenEnabled(form.btnLogin);
    };
}

QTreeWidgetItem* node(QTreeWidget* tree, const QString& top, const QString& child = {})
{
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = tree->topLevelItem(i);
        if (item->text(0) != top)
            continue;
        if (child.isEmpty())
            return item;
        for (int c = 0; c < item->childCount(); ++c)
            if (item->child(c)->text(0) == child)
                return item->child(c);
    }
    return nullptr;
}

QStringList children(QTreeWidget* tree, const QString& top)
{
    QStringList texts;
    if (QTreeWidgetItem* item = node(tree, top))
        for (int c = 0; c < item->childCount(); ++c)
            texts << item->child(c)->text(0);
    return texts;
}

void select(QListWidget* list, const QStringList& names)
{
    list->clearSelection();
    for (int i = 0; i < list->count(); ++i)
        list->item(i)->setSelected(names.contains(list->item(i)->text()));
}

} // namespace

TEST_F(Dialogs, TheLoginDialogGivesThreeAttemptsEachWaitingLongerAndCancelLogsNobodyOut)
{
    addUser("op", "pw");
    ASSERT_TRUE(manager.Login("admin", ""));
    TuilLoginDlg dlg;
    EXPECT_THROW(
        try { dlg.Execute(); } catch (const EuilSecurityError& error) {
            EXPECT_STREQ(error.what(), "You must specify a Security Contoller");
            throw;
        },
        EuilSecurityError);
    dlg.SecurityManager = &manager;
    dlg.UseWindowsUserName = false;
    dlg.FailureDelay = 30ms;
    int loginCalls = 0;
    dlg.OnBeforeLoginAttempt = [&](TuilLoginDlg&) { ++loginCalls; };

    // Cancel at the first prompt: no login call at all.
    {
        ModalScript script({[](QDialog& dialog) {
            auto& form = static_cast<TuilLoginForm&>(dialog);
            EXPECT_EQ(form.windowTitle(), "Lumavox QEX Login");
            EXPECT_TRUE(form.Header->Markup().startsWith(
                "<FONT  size=\"14\"  face=\"Tahoma\"><B><IND x=\"70\">Lumavox QEX Login</B></FONT><BR>"));
            EXPECT_TRUE(form.Header->Markup().endsWith("Digitare il proprio nome utente e la password."));
            EXPECT_EQ(form.labUsername->text(), "Username:");
            EXPECT_EQ(form.txtPassword->echoMode(), QLineEdit::Password);
            EXPECT_TRUE(form.txtUsername->hasFocus());
            dialog.reject();
        }});
        EXPECT_FALSE(dlg.Execute());
    }
    EXPECT_EQ(loginCalls, 0);
    EXPECT_TRUE(manager.LoggedIn());
    std::vector<std::pair<int, int>> attempts;
    dlg.OnAfterLoginAttempt = [&](TuilLoginDlg&) {
        attempts.emplace_back(manager.LoginAttempt, manager.RemainingAttempts);
    };

    // Three wrong passwords: three login calls, the form held back longer after each.
    int held = 0;
    const auto wrong = [&](QDialog& dialog) {
        auto& form = static_cast<TuilLoginForm&>(dialog);
        held += form.btnLogin->isEnabled() ? 0 : 1;
        EXPECT_EQ(form.txtUsername->text(), "op") << "what was typed stays";
        attempt("op", "guess")(dialog);
    };
    {
        ModalScript script({attempt("op", "guess"), wrong, wrong});
        EXPECT_FALSE(dlg.Execute());
        EXPECT_TRUE(script.finished());
        EXPECT_EQ(script.shown(), 3);
    }
    EXPECT_EQ(loginCalls, 3);
    EXPECT_EQ(attempts, (std::vector<std::pair<int, int>>{{1, 2}, {2, 1}, {3, 0}}));
    EXPECT_EQ(held, 2);
    EXPECT_FALSE(manager.LoggedIn());
    EXPECT_EQ(manager.CurrentUser(), "admin");
    EXPECT_EQ(dlg.PresetUserName, "op");

    // The name typed last comes back; the second attempt succeeds.
    {
        ModalScript script({attempt("op", "guess"), [](QDialog& dialog) {
                                auto& form = static_cast<TuilLoginForm&>(dialog);
                                EXPECT_TRUE(form.txtPassword->hasFocus());
                                attempt("OP", "pw")(dialog);
                            }});
        EXPECT_TRUE(dlg.Execute());
    }
    EXPECT_EQ(manager.CurrentUser(), "OP");
}

TEST_F(Dialogs, ChangingThePasswordNeedsTheCurrentOneAndTheNewOneTwiceAndStoresItAsTyped)
{
    addUser("op", "Old");
    ASSERT_TRUE(manager.Login("op", "Old"));
    TuilChangePasswordDlg dlg;
    dlg.SecurityManager = &manager;
    ModalScript script({[](QDialog& dialog) {
        auto& form = static_cast<TuilChangePasswordForm&>(dialog);
        EXPECT_EQ(form.windowTitle(), "Change Password");
        EXPECT_EQ(form.labConfirmPwd->text(), "C&onfirm password");
        EXPECT_EQ(form.txtCurrentPassword->text(), "Old");
        EXPECT_TRUE(form.btnOK->isEnabled()) << "all four agree when the form opens";
        typeInto(form.txtNewPassword, "Secret");
        EXPECT_FALSE(form.btnOK->isEnabled());
        typeInto(form.txtConfirmPassword, "SECRET");
        EXPECT_TRUE(form.btnOK->isEnabled()) << "letter case is not compared";
        typeInto(form.txtCurrentPassword, "olx");
        EXPECT_FALSE(form.btnOK->isEnabled());
        typeInto(form.txtCurrentPassword, "OLD");
        form.btnOK->click();
    }});
    dlg.Execute();
    EXPECT_FALSE(manager.Login("op", "SECRET"));
    EXPECT_TRUE(manager.Login("op", "Secret"));

    // OK with both new boxes empty stores an empty password.
    ModalScript empty({[](QDialog& dialog) { static_cast<TuilChangePasswordForm&>(dialog).btnOK->click(); }});
    dlg.Execute();
    EXPECT_TRUE(manager.Login("op", ""));
    const auto actions = auditActions();
    EXPECT_EQ(std::count(actions.begin(), actions.end(), "op: Password changed"), 2);
}

TEST_F(Dialogs, UsersAreAddedEditedAndRemovedWithTheFormsChecks)
{
    TuilSecurityDlg dlg;
    dlg.SecurityManager = &manager;
    std::vector<std::string> added;
    dlg.OnUserAdded = [&](void*, const std::string& name) { added.push_back(name); };
    ModalAnswerer boxes({"OK", "OK", "Yes"});
    std::string hashBeforeEdit;

    ModalScript script;
    script.then([&](QDialog& dialog) {
        auto& form = static_cast<TfrmPermissionsDlg&>(dialog);
        EXPECT_EQ(form.windowTitle(), "Security Settings");
        EXPECT_EQ(form.PageControl->tabText(0), "Users");
        EXPECT_EQ(form.PageControl->tabText(2), "Membership");
        EXPECT_EQ(form.lvUserPermissions->count(), 6);
        EXPECT_EQ(children(form.tvMembershipGroups, "Administrators"), QStringList{"admin"});
        form.btnAddUser->click();
        ASSERT_NE(node(form.tvUsersUsers, "op"), nullptr);
        EXPECT_EQ(form.tvMembershipUsers->topLevelItemCount(), 2);

        form.tvUsersUsers->setCurrentItem(node(form.tvUsersUsers, "op"));
        ASSERT_TRUE(tblUsers.Locate("LoginName", "op", false));
        hashBeforeEdit = tblUsers.AsString("Password");
        form.btnEditUser->click();

        form.tvUsersUsers->setCurrentItem(node(form.tvUsersUsers, "op"));
        form.btnDeleteUser->click();
        EXPECT_EQ(node(form.tvUsersUsers, "op"), nullptr);
        form.BitBtn1->click();
    });
    script.then([&](QDialog& dialog) {
        auto& form = static_cast<TfrmEditUser&>(dialog);
        EXPECT_EQ(form.windowTitle(), "Utente");
        EXPECT_TRUE(form.cbEnabled->isChecked()) << "a new user starts enabled";
        EXPECT_EQ(form.labAccessCount->text(), "0");
        typeInto(form.txtFullName, "Operator");
        form.btnOK->click();
        EXPECT_TRUE(form.isVisible());
        EXPECT_EQ(form.focusWidget(), form.txtUsername);
        typeInto(form.txtUsername, "op");
        typeInto(form.txtPassword, "first");
        typeInto(form.txtPasswordVerify, "First");
        form.btnOK->click();
        EXPECT_TRUE(form.isVisible());
        EXPECT_EQ(form.focusWidget(), form.txtPassword);
        typeInto(form.txtPasswordVerify, "first");
        form.btnOK->click();
    });
    script.then([&](QDialog& dialog) {
        auto& form = static_cast<TfrmEditUser&>(dialog);
        EXPECT_EQ(form.txtUsername->text(), "op");
        EXPECT_EQ(form.txtPasswordVerify->text(), form.txtPassword->text());
        typeInto(form.txtFullName, "Morning operator");
        form.btnOK->click();
    });
    EXPECT_TRUE(dlg.Execute());
    EXPECT_TRUE(script.finished());

    ASSERT_EQ(boxes.count(), 3);
    EXPECT_EQ(boxes.seen()[0].text, "Nome utente non valido.");
    EXPECT_EQ(boxes.seen()[1].text, "Le password non coincidono.");
    EXPECT_EQ(boxes.seen()[2].text, "Rimuovere l'utente \"op\"?");
    EXPECT_EQ(boxes.seen()[2].buttons, (QStringList{"Yes", "No"}));
    EXPECT_EQ(added, std::vector<std::string>{"op"});
    EXPECT_TRUE(isPasswordHash(hashBeforeEdit));
    EXPECT_FALSE(tblUsers.Locate("LoginName", "op", true));
    EXPECT_EQ(auditActions(), (std::vector<std::string>{": User removed", ": User edited", ": User added"}));
}

TEST_F(Dialogs, AnUnchangedPasswordKeepsItsStoredFormAndClosingWithTheBoxReturnsFalse)
{
    addUser("op", "pw");
    ASSERT_TRUE(tblUsers.Locate("LoginName", "op", false));
    const std::string stored = tblUsers.AsString("Password");
    TuilSecurityDlg dlg;
    dlg.SecurityManager = &manager;
    ModalScript script;
    script.then([&](QDialog& dialog) {
        auto& form = static_cast<TfrmPermissionsDlg&>(dialog);
        form.tvUsersUsers->setCurrentItem(node(form.tvUsersUsers, "op"));
        form.btnEditUser->click();
        dialog.reject(); // the close box
    });
    script.then([&](QDialog& dialog) {
        auto& form = static_cast<TfrmEditUser&>(dialog);
        form.cbEnabled->setChecked(false);
        form.btnOK->click();
    });
    EXPECT_FALSE(dlg.Execute());
    ASSERT_TRUE(tblUsers.Locate("LoginName", "op", false));
    EXPECT_EQ(tblUsers.AsString("Password"), stored);
    EXPECT_FALSE(tblUsers.AsBoolean("Enabled")) << "stored at once, whatever the way out";
}

TEST_F(Dialogs, GrantsGroupsAndMembershipsFollowTheButtonsDropsAndKeys)
{
    addUser("op", "pw");
    TuilSecurityDlg dlg;
    dlg.SecurityManager = &manager;
    ModalAnswerer boxes({"Yes"});
    ModalScript script;
    script.then([&](QDialog& dialog) {
        auto& form = static_cast<TfrmPermissionsDlg&>(dialog);
        // A permission granted twice shows once.
        form.tvUsersUsers->setCurrentItem(node(form.tvUsersUsers, "op"));
        select(form.lvUserPermissions, {"Start/Stop", "Bypass"});
        form.btnPermissionToUser->click();
        form.tvUsersUsersDragDrop(form.tvUsersUsers, node(form.tvUsersUsers, "op", "Bypass"));
        EXPECT_EQ(children(form.tvUsersUsers, "op"), (QStringList{"Start/Stop", "Bypass"}));
        form.tvUsersUsers->setCurrentItem(node(form.tvUsersUsers, "op", "Bypass"));
        form.btnDelUserPermission->click();
        EXPECT_EQ(children(form.tvUsersUsers, "op"), QStringList{"Start/Stop"});

        // A new group, with a grant given by the keyboard.
        form.btnAddGroup->click();
        ASSERT_NE(node(form.tvGroupsGroups, "Operators"), nullptr);
        form.PageControl->setCurrentWidget(form.tsGroups);
        form.tvGroupsGroups->setCurrentItem(node(form.tvGroupsGroups, "Operators"));
        select(form.lvGroupsPermissions, {"Exit"});
        activate(form);
        QTest::keyClick(form.lvGroupsPermissions, Qt::Key_A, Qt::ControlModifier);
        EXPECT_EQ(children(form.tvGroupsGroups, "Operators"), QStringList{"Exit"});

        // op joins Operators; admin, already an administrator, does not.
        form.PageControl->setCurrentWidget(form.tsMembership);
        form.tvMembershipGroups->setCurrentItem(node(form.tvMembershipGroups, "Operators"));
        form.tvMembershipUsers->setCurrentItem(form.tvMembershipUsers->topLevelItem(0));
        form.btnUserToGroup->click(); // admin
        EXPECT_EQ(form.tvMembershipUsers->currentItem()->text(0), "op") << "on to the next user";
        form.tvUsersUsersDragDrop(form.tvMembershipGroups, node(form.tvMembershipGroups, "Operators"));
        EXPECT_EQ(children(form.tvMembershipGroups, "Operators"), QStringList{"op"});
        form.tvMembershipGroups->setCurrentItem(node(form.tvMembershipGroups, "Operators"));
        EXPECT_FALSE(form.btnDelUserFromGroup->isEnabled());
        form.tvMembershipGroups->setCurrentItem(node(form.tvMembershipGroups, "Operators", "op"));
        EXPECT_TRUE(form.btnDelUserFromGroup->isEnabled());

        // The group goes, after its question; its grants and members stay in their tables.
        form.PageControl->setCurrentWidget(form.tsGroups);
        form.tvGroupsGroups->setCurrentItem(node(form.tvGroupsGroups, "Operators"));
        form.btnDeleteGroup->click();
        EXPECT_EQ(node(form.tvMembershipGroups, "Operators"), nullptr);

        form.PageControl->setCurrentWidget(form.tsAudit);
        ASSERT_GE(form.tvAudit->topLevelItemCount(), 1);
        EXPECT_EQ(form.tvAudit->topLevelItem(0)->text(2), "Group removed") << "newest first";
        EXPECT_EQ(form.tvAudit->topLevelItem(1)->text(2), "Member added");
        form.BitBtn1->click();
    });
    script.then([&](QDialog& dialog) {
        auto& form = static_cast<TfrmEditGroup&>(dialog);
        EXPECT_EQ(form.windowTitle(), "Gruppo");
        typeInto(form.txtGroupName, "Operators");
        typeInto(form.txtGroupDescription, "Start and stop only");
        form.btnOK->click();
    });
    EXPECT_TRUE(dlg.Execute());
    EXPECT_EQ(boxes.count(), 1);
    EXPECT_EQ(boxes.seen()[0].text, "Rimuovere il gruppo \"Operators\"?");
    EXPECT_FALSE(manager.GroupBindary.LocateKey("Operators"));
    EXPECT_TRUE(manager.GroupBindary.GroupMembershipBindary.IsMember("op", "Operators"));
    ASSERT_TRUE(manager.Login("op", "pw"));
    EXPECT_EQ(manager.PermissionList(), std::vector<std::string>{"Start/Stop"});
}

TEST(WidgetPolicyForm, DisablesAndHidesWidgetsActionsAndTabsByName)
{
    QWidget window;
    window.setObjectName("frmQEX");
    auto* play = new QPushButton(&window);
    play->setObjectName("btnPlay");
    auto* tabs = new QTabWidget(&window);
    auto* page = new QWidget;
    page->setObjectName("tsExpert");
    tabs->addTab(new QWidget, "Main");
    tabs->addTab(page, "Expert");
    auto* users = new QAction(&window);
    users->setObjectName("Usermanagement1");
    auto* field = new QLineEdit(&window);
    field->setObjectName("edtLevel");
    auto* hidden = new QLabel(&window);
    hidden->setObjectName("lblHidden");
    hidden->hide();
    window.show();

    TWidgetPolicyForm form(window);
    EXPECT_EQ(form.FormName(), "frmQEX");
    EXPECT_TRUE(form.HasComponent("Usermanagement1"));
    EXPECT_FALSE(form.HasComponent("btnNone"));
    form.Secure("btnPlay", TPolicyAction::paDisable, true);
    form.Secure("Usermanagement1", TPolicyAction::paDisable, true);
    form.Secure("tsExpert", TPolicyAction::paHide, true);
    form.Secure("edtLevel", TPolicyAction::paReadOnly, true);
    form.Secure("btnPlay", TPolicyAction::paReadOnly, true); // no such property: left alone
    EXPECT_FALSE(play->isEnabled());
    EXPECT_FALSE(users->isEnabled());
    EXPECT_FALSE(tabs->isTabVisible(1));
    EXPECT_TRUE(page->isEnabled()) << "hiding a page hides its tab only";
    EXPECT_TRUE(field->isReadOnly());
    form.Secure("edtLevel", TPolicyAction::paReadOnly, false);
    form.Secure("tsExpert", TPolicyAction::paHide, false);
    form.Secure("lblHidden", TPolicyAction::paHide, false);
    EXPECT_FALSE(field->isReadOnly());
    EXPECT_TRUE(tabs->isTabVisible(1));
    EXPECT_TRUE(hidden->isVisible()) << "released even though the window had hidden it";
}
