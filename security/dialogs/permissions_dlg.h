#pragma once
// The administration form: users with their permissions, groups with theirs, memberships of
// users in groups, and the audit trail. Every change is written to the database at once.

#include <QDialog>
#include <QTreeWidget>

#include <functional>
#include <string>

class QListWidget;
class QPushButton;
class QTabWidget;
class QToolButton;
class TuilBindary;
class TuilSecurityManager;

using TuilUserEvent = std::function<void(void* sender, const std::string& userName)>;
using TuilGroupEvent = std::function<void(void* sender, const std::string& groupName)>;

// What the administration reports as it goes.
struct TuilSecurityEvents {
    TuilUserEvent OnUserAdded;
    TuilUserEvent OnUserDeleted;
    TuilUserEvent OnUserEdited;
    TuilGroupEvent OnGroupAdded;
    TuilGroupEvent OnGroupDeleted;
    TuilGroupEvent OnGroupEdited;
};

// A read-only tree that takes drops from one other widget of the form.
class TDropTree : public QTreeWidget {
public:
    explicit TDropTree(QWidget* parent = nullptr);

    QWidget* DropSource = nullptr;
    std::function<void(QTreeWidgetItem* target)> OnDrop;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

class TfrmPermissionsDlg : public QDialog {
public:
    TfrmPermissionsDlg(TuilSecurityManager& manager, const TuilSecurityEvents& events, QWidget* parent = nullptr);

    QTabWidget* PageControl = nullptr;
    QWidget* tsUsers = nullptr;
    QWidget* tsGroups = nullptr;
    QWidget* tsMembership = nullptr;
    QWidget* tsAudit = nullptr;
    QToolButton* btnAddUser = nullptr;
    QToolButton* btnEditUser = nullptr;
    QToolButton* btnDeleteUser = nullptr;
    TDropTree* tvUsersUsers = nullptr;
    QPushButton* btnDelUserPermission = nullptr;
    QPushButton* btnPermissionToUser = nullptr;
    QListWidget* lvUserPermissions = nullptr;
    QToolButton* btnAddGroup = nullptr;
    QToolButton* btnEditGroup = nullptr;
    QToolButton* btnDeleteGroup = nullptr;
    TDropTree* tvGroupsGroups = nullptr;
    QPushButton* btnPermissionToGroup = nullptr;
    QPushButton* btnDelGroupPermission = nullptr;
    QListWidget* lvGroupsPermissions = nullptr;
    TDropTree* tvMembershipGroups = nullptr;
    QPushButton* btnUserToGroup = nullptr;
    QPushButton* btnDelUserFromGroup = nullptr;
    QTreeWidget* tvMembershipUsers = nullptr;
    QTreeWidget* tvAudit = nullptr;
    QPushButton* BitBtn1 = nullptr;

    // Fills the trees and lists from the database.
    void FormShow();

    void ToolButton4Click(); // add user
    void btnEditUserClick();
    void btnDeleteUserClick();
    void btnAddGroupClick();
    void btnEditGroupClick();
    void btnDeleteGroupClick();
    void btnPermissionToUserClick();
    void btnPermissionToGroupClick();
    void btnDelUserPermissionClick();
    void btnDelGroupPermissionClick();
    void btnUserToGroupClick();
    void btnDelUserFromGroupClick();
    void tvMembershipGroupsChange();
    // A drop on a node of one of the three trees, as its button would do it.
    void tvUsersUsersDragDrop(TDropTree* tree, QTreeWidgetItem* target);

private:
    QWidget* BuildUsersPage();
    QWidget* BuildGroupsPage();
    QWidget* BuildMembershipPage();
    QWidget* BuildAuditPage();
    void ConnectHandlers();
    void RefreshUsers();
    void RefreshGroups();
    void RefreshPermissionLists();
    void RefreshMembership();
    void RefreshAudit();
    void RemoveOnCurrentTab();
    void AssignOnCurrentTab();
    // Removes the user or group of a top-level node, after asking.
    void RemoveOwner(QTreeWidgetItem* node, const QString& question, TuilBindary& owners, const TuilUserEvent& event,
                     const std::string& action);
    void GrantSelected(QTreeWidget* tree, QListWidget* list, bool toGroup);
    void Report(const TuilUserEvent& event, const std::string& name, const std::string& action);
    // Runs a handler: an error is shown and the form goes on.
    void Handle(void (TfrmPermissionsDlg::*handler)());

    TuilSecurityManager& manager_;
    const TuilSecurityEvents& events_;
};
