#include "permissions_dlg.h"

#include "edit_group_form.h"
#include "edit_user_form.h"
#include "security_messages.h"
#include "security_pictures.h"

#include "security/audit_trail.h"
#include "security/security_manager.h"
#include "security/sql_table.h"

#include <QDragEnterEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShortcut>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QTreeWidgetItem* topLevelOf(QTreeWidgetItem* item)
{
    while (item && item->parent())
        item = item->parent();
    return item;
}

std::string textOf(const QTreeWidgetItem* item)
{
    return item->text(0).toStdString();
}

QIcon pictureIcon(TSecurityPicture picture)
{
    return QIcon(securityPicture(picture, 16));
}

QTreeWidgetItem* addNode(QTreeWidget* tree, const std::string& text, TSecurityPicture picture)
{
    auto* item = new QTreeWidgetItem(tree, QStringList{QString::fromStdString(text)});
    item->setIcon(0, pictureIcon(picture));
    return item;
}

// A child under the node's top-level node, unless one of exactly that text is there already.
void addChild(QTreeWidgetItem* node, const std::string& text, TSecurityPicture picture)
{
    QTreeWidgetItem* top = topLevelOf(node);
    const QString caption = QString::fromStdString(text);
    for (int i = 0; i < top->childCount(); ++i)
        if (top->child(i)->text(0) == caption)
            return;
    auto* child = new QTreeWidgetItem(top, QStringList{caption});
    child->setIcon(0, pictureIcon(picture));
}

template <class Tree>
Tree* makeTree(QWidget* parent, const char* name)
{
    auto* tree = new Tree(parent);
    tree->setObjectName(name);
    tree->setHeaderHidden(true);
    tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    return tree;
}

QListWidget* makePermissionList(QWidget* parent, const char* name)
{
    auto* list = new QListWidget(parent);
    list->setObjectName(name);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setDragEnabled(true);
    list->setDragDropMode(QAbstractItemView::DragOnly);
    return list;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    return button;
}

QToolButton* addToolButton(QToolBar* bar, const char* name, const QString& caption, TSecurityPicture picture)
{
    auto* button = new QToolButton(bar);
    button->setObjectName(name);
    button->setText(caption);
    button->setIcon(pictureIcon(picture));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    bar->addWidget(button);
    return button;
}

// A labelled tree or list beside a labelled list, with buttons between them.
QWidget* twoPanes(QWidget* page, const QString& leftLabel, QWidget* left, std::initializer_list<QPushButton*> buttons,
                  const QString& rightLabel, QWidget* right)
{
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(leftLabel, page), 0, 0);
    grid->addWidget(left, 1, 0);
    auto* middle = new QVBoxLayout;
    middle->addStretch();
    for (QPushButton* button : buttons)
        middle->addWidget(button);
    middle->addStretch();
    grid->addLayout(middle, 1, 1);
    grid->addWidget(new QLabel(rightLabel, page), 0, 2);
    grid->addWidget(right, 1, 2);
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(2, 2);
    auto* holder = new QWidget(page);
    holder->setLayout(grid);
    return holder;
}

struct TNamedCaption {
    const char* name;
    QString caption;
};

// What a page of users or of groups is made of.
struct TOwnerPageLayout {
    const char* page;
    TSecurityPicture picture;
    TNamedCaption add, edit, remove;
    const char* tree;
    QString treeLabel;
    TNamedCaption firstButton, secondButton;
    const char* permissions;
};

struct TOwnerPage {
    QWidget* page;
    QToolButton* add;
    QToolButton* edit;
    QToolButton* remove;
    TDropTree* tree;
    QPushButton* firstButton;
    QPushButton* secondButton;
    QListWidget* permissions;
};

// A tool bar to add, edit and remove owners over the tree of owners with their permissions,
// beside the list of every permission (the source of drops on the tree).
TOwnerPage buildOwnerPage(QWidget* parent, const TOwnerPageLayout& layout)
{
    TOwnerPage made{};
    made.page = new QWidget(parent);
    made.page->setObjectName(layout.page);
    auto* bar = new QToolBar(made.page);
    made.add = addToolButton(bar, layout.add.name, layout.add.caption, layout.picture);
    made.edit = addToolButton(bar, layout.edit.name, layout.edit.caption, layout.picture);
    made.remove = addToolButton(bar, layout.remove.name, layout.remove.caption, layout.picture);
    made.tree = makeTree<TDropTree>(made.page, layout.tree);
    made.firstButton = makeButton(made.page, layout.firstButton.name, layout.firstButton.caption);
    made.secondButton = makeButton(made.page, layout.secondButton.name, layout.secondButton.caption);
    made.permissions = makePermissionList(made.page, layout.permissions);
    made.tree->DropSource = made.permissions;
    auto* column = new QVBoxLayout(made.page);
    column->addWidget(bar);
    column->addWidget(twoPanes(made.page, layout.treeLabel, made.tree, {made.firstButton, made.secondButton},
                               QStringLiteral("Permessi:"), made.permissions));
    return made;
}

// Fills the tree of owners with their grants as children, and the membership tree with the
// owners alone.
void fillOwners(QTreeWidget* withGrants, QTreeWidget* alone, SqlTable& owners, const std::string& nameField,
                SqlTable& grants, const std::string& permissionField, TSecurityPicture picture)
{
    withGrants->clear();
    alone->clear();
    for (owners.First(); !owners.Eof(); owners.Next()) {
        const std::string name = owners.AsString(nameField);
        addNode(alone, name, picture);
        QTreeWidgetItem* node = addNode(withGrants, name, picture);
        for (grants.First(); !grants.Eof(); grants.Next())
            addChild(node, grants.AsString(permissionField), TSecurityPicture::Permission);
    }
    withGrants->expandAll();
}

} // namespace

TDropTree::TDropTree(QWidget* parent) : QTreeWidget(parent)
{
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
}

void TDropTree::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->source() == DropSource)
        event->acceptProposedAction();
    else
        event->ignore();
}

void TDropTree::dragMoveEvent(QDragMoveEvent* event)
{
    if (event->source() == DropSource && itemAt(event->position().toPoint()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TDropTree::dropEvent(QDropEvent* event)
{
    QTreeWidgetItem* target = itemAt(event->position().toPoint());
    if (event->source() != DropSource || !target || !OnDrop) {
        event->ignore();
        return;
    }
    // The trees keep their own nodes: the drop is carried out, nothing is moved.
    event->setDropAction(Qt::CopyAction);
    event->accept();
    OnDrop(target);
}

TfrmPermissionsDlg::TfrmPermissionsDlg(TuilSecurityManager& manager, const TuilSecurityEvents& events, QWidget* parent)
    : QDialog(parent), manager_(manager), events_(events)
{
    setObjectName("frmPermissionsDlg");
    setWindowTitle(QStringLiteral("Gestione utenti e permessi"));
    setMinimumSize(641, 300);
    PageControl = new QTabWidget(this);
    PageControl->setObjectName("PageControl1");
    tsUsers = BuildUsersPage();
    tsGroups = BuildGroupsPage();
    tsMembership = BuildMembershipPage();
    tsAudit = BuildAuditPage();
    PageControl->addTab(tsUsers, QStringLiteral("Utenti"));
    PageControl->addTab(tsGroups, QStringLiteral("Gruppi"));
    PageControl->addTab(tsMembership, QStringLiteral("Membri"));
    PageControl->addTab(tsAudit, QStringLiteral("Registro"));
    BitBtn1 = makeButton(this, "BitBtn1", QStringLiteral("Chiudi"));

    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(BitBtn1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(PageControl);
    layout->addLayout(bottom);
    ConnectHandlers();
}

QWidget* TfrmPermissionsDlg::BuildUsersPage()
{
    const TOwnerPage page = buildOwnerPage(this,
                                           {"tsUsers",
                                            TSecurityPicture::User,
                                            {"btnAddUser", QStringLiteral("Aggiungi utente")},
                                            {"btnEditUser", QStringLiteral("Modifica utente")},
                                            {"btnDeleteUser", QStringLiteral("Rimuovi utente")},
                                            "tvUsersUsers",
                                            QStringLiteral("Utenti:"),
                                            {"btnDelUserPermission", QStringLiteral("Rimuovi permesso")},
                                            {"btnPermissionToUser", QStringLiteral("Assegna permesso")},
                                            "lvUserPermissions"});
    btnAddUser = page.add;
    btnEditUser = page.edit;
    btnDeleteUser = page.remove;
    tvUsersUsers = page.tree;
    btnDelUserPermission = page.firstButton;
    btnPermissionToUser = page.secondButton;
    lvUserPermissions = page.permissions;
    return page.page;
}

QWidget* TfrmPermissionsDlg::BuildGroupsPage()
{
    const TOwnerPage page = buildOwnerPage(this,
                                           {"tsGroups",
                                            TSecurityPicture::Group,
                                            {"btnAddGroup", QStringLiteral("Aggiungi gruppo")},
                                            {"btnEditGroup", QStringLiteral("Modifica gruppo")},
                                            {"btnDeleteGroup", QStringLiteral("Rimuovi gruppo")},
                                            "tvGroupsGroups",
                                            QStringLiteral("Gruppi:"),
                                            {"btnPermissionToGroup", QStringLiteral("Assegna permesso")},
                                            {"btnDelGroupPermission", QStringLiteral("Rimuovi permesso")},
                                            "lvGroupsPermissions"});
    btnAddGroup = page.add;
    btnEditGroup = page.edit;
    btnDeleteGroup = page.remove;
    tvGroupsGroups = page.tree;
    btnPermissionToGroup = page.firstButton;
    btnDelGroupPermission = page.secondButton;
    lvGroupsPermissions = page.permissions;
    return page.page;
}

QWidget* TfrmPermissionsDlg::BuildMembershipPage()
{
    auto* page = new QWidget(this);
    page->setObjectName("tsMembership");
    tvMembershipGroups = makeTree<TDropTree>(page, "tvMembershipGroups");
    btnUserToGroup = makeButton(page, "btnUserToGroup", QStringLiteral("Aggiungi al gruppo"));
    btnDelUserFromGroup = makeButton(page, "btnDelUserFromGroup", QStringLiteral("Rimuovi dal gruppo"));
    tvMembershipUsers = makeTree<QTreeWidget>(page, "tvMembershipUsers");
    tvMembershipUsers->setRootIsDecorated(false);
    tvMembershipUsers->setDragEnabled(true);
    tvMembershipUsers->setDragDropMode(QAbstractItemView::DragOnly);
    tvMembershipGroups->DropSource = tvMembershipUsers;
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(twoPanes(page, QStringLiteral("Gruppi:"), tvMembershipGroups,
                               {btnUserToGroup, btnDelUserFromGroup}, QStringLiteral("Utenti:"), tvMembershipUsers));
    return page;
}

QWidget* TfrmPermissionsDlg::BuildAuditPage()
{
    auto* page = new QWidget(this);
    page->setObjectName("tsAudit");
    tvAudit = new QTreeWidget(page);
    tvAudit->setObjectName("tvAudit");
    tvAudit->setRootIsDecorated(false);
    tvAudit->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tvAudit->setHeaderLabels(
        {QStringLiteral("Data e ora"), QStringLiteral("Utente"), QStringLiteral("Azione"), QStringLiteral("Dettagli")});
    tvAudit->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(tvAudit);
    return page;
}

void TfrmPermissionsDlg::Handle(void (TfrmPermissionsDlg::*handler)())
{
    handleSecurityAction(this, [&] { (this->*handler)(); });
}

void TfrmPermissionsDlg::ConnectHandlers()
{
    const auto on = [this](QAbstractButton* button, void (TfrmPermissionsDlg::*handler)()) {
        connect(button, &QAbstractButton::clicked, this, [this, handler] { Handle(handler); });
    };
    on(btnAddUser, &TfrmPermissionsDlg::ToolButton4Click);
    on(btnEditUser, &TfrmPermissionsDlg::btnEditUserClick);
    on(btnDeleteUser, &TfrmPermissionsDlg::btnDeleteUserClick);
    on(btnAddGroup, &TfrmPermissionsDlg::btnAddGroupClick);
    on(btnEditGroup, &TfrmPermissionsDlg::btnEditGroupClick);
    on(btnDeleteGroup, &TfrmPermissionsDlg::btnDeleteGroupClick);
    on(btnPermissionToUser, &TfrmPermissionsDlg::btnPermissionToUserClick);
    on(btnPermissionToGroup, &TfrmPermissionsDlg::btnPermissionToGroupClick);
    on(btnDelUserPermission, &TfrmPermissionsDlg::btnDelUserPermissionClick);
    on(btnDelGroupPermission, &TfrmPermissionsDlg::btnDelGroupPermissionClick);
    on(btnUserToGroup, &TfrmPermissionsDlg::btnUserToGroupClick);
    on(btnDelUserFromGroup, &TfrmPermissionsDlg::btnDelUserFromGroupClick);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(PageControl, &QTabWidget::currentChanged, this, [this] {
        if (PageControl->currentWidget() == tsAudit)
            Handle(&TfrmPermissionsDlg::RefreshAudit);
    });

    const auto onDoubleClick = [this](auto* view, auto signal, void (TfrmPermissionsDlg::*handler)()) {
        connect(view, signal, this, [this, handler] { Handle(handler); });
    };
    onDoubleClick(tvUsersUsers, &QTreeWidget::itemDoubleClicked, &TfrmPermissionsDlg::btnEditUserClick);
    onDoubleClick(tvGroupsGroups, &QTreeWidget::itemDoubleClicked, &TfrmPermissionsDlg::btnEditGroupClick);
    onDoubleClick(lvUserPermissions, &QListWidget::itemDoubleClicked, &TfrmPermissionsDlg::btnPermissionToUserClick);
    onDoubleClick(tvMembershipUsers, &QTreeWidget::itemDoubleClicked, &TfrmPermissionsDlg::btnUserToGroupClick);
    connect(tvMembershipGroups, &QTreeWidget::currentItemChanged, this, [this] { tvMembershipGroupsChange(); });

    for (TDropTree* tree : {tvUsersUsers, tvGroupsGroups, tvMembershipGroups}) {
        tree->OnDrop = [this, tree](QTreeWidgetItem* target) {
            handleSecurityAction(this, [&] { tvUsersUsersDragDrop(tree, target); });
        };
    }
    const auto key = [this](const QKeySequence& keys, QWidget* where, Qt::ShortcutContext context,
                            void (TfrmPermissionsDlg::*handler)()) {
        auto* shortcut = new QShortcut(keys, where);
        shortcut->setContext(context);
        connect(shortcut, &QShortcut::activated, this, [this, handler] { Handle(handler); });
    };
    key(QKeySequence(Qt::CTRL | Qt::Key_Delete), this, Qt::WindowShortcut, &TfrmPermissionsDlg::RemoveOnCurrentTab);
    key(QKeySequence(Qt::CTRL | Qt::Key_R), this, Qt::WindowShortcut, &TfrmPermissionsDlg::RemoveOnCurrentTab);
    key(QKeySequence(Qt::CTRL | Qt::Key_A), this, Qt::WindowShortcut, &TfrmPermissionsDlg::AssignOnCurrentTab);
    key(QKeySequence(Qt::Key_Delete), tvUsersUsers, Qt::WidgetShortcut, &TfrmPermissionsDlg::btnDeleteUserClick);
    key(QKeySequence(Qt::Key_Delete), tvGroupsGroups, Qt::WidgetShortcut, &TfrmPermissionsDlg::btnDeleteGroupClick);
    key(QKeySequence(Qt::Key_Delete), tvMembershipGroups, Qt::WidgetShortcut,
        &TfrmPermissionsDlg::btnDelUserFromGroupClick);
}

void TfrmPermissionsDlg::FormShow()
{
    RefreshUsers();
    RefreshGroups();
    RefreshPermissionLists();
    RefreshMembership();
    RefreshAudit();
    btnDelUserFromGroup->setEnabled(false);
}

void TfrmPermissionsDlg::RefreshUsers()
{
    TuilUserBindary& users = manager_.UserBindary;
    fillOwners(tvUsersUsers, tvMembershipUsers, users.RequireDataSet(), users.UserNameField,
               users.UserPermissions.RequireDataSet(), users.UserPermissions.PermissionField, TSecurityPicture::User);
}

void TfrmPermissionsDlg::RefreshGroups()
{
    TuilGroupBindary& groups = manager_.GroupBindary;
    fillOwners(tvGroupsGroups, tvMembershipGroups, groups.RequireDataSet(), groups.GroupNameField,
               groups.GroupPermissions.RequireDataSet(), groups.GroupPermissions.PermissionField,
               TSecurityPicture::Group);
}

void TfrmPermissionsDlg::RefreshPermissionLists()
{
    lvUserPermissions->clear();
    lvGroupsPermissions->clear();
    const TuilPermissionBindary& permissions = manager_.PermissionBindary;
    SqlTable& table = permissions.RequireDataSet();
    for (table.First(); !table.Eof(); table.Next()) {
        const QString name = QString::fromStdString(table.AsString(permissions.PermissionField));
        for (QListWidget* list : {lvUserPermissions, lvGroupsPermissions})
            new QListWidgetItem(pictureIcon(TSecurityPicture::Permission), name, list);
    }
}

void TfrmPermissionsDlg::RefreshMembership()
{
    TuilGroupMembershipBindary& members = manager_.GroupBindary.GroupMembershipBindary;
    for (int g = 0; g < tvMembershipGroups->topLevelItemCount(); ++g) {
        QTreeWidgetItem* group = tvMembershipGroups->topLevelItem(g);
        for (int u = 0; u < tvMembershipUsers->topLevelItemCount(); ++u) {
            const std::string user = textOf(tvMembershipUsers->topLevelItem(u));
            if (members.IsMember(user, textOf(group)))
                addChild(group, user, TSecurityPicture::User);
        }
    }
    tvMembershipGroups->expandAll();
}

void TfrmPermissionsDlg::RefreshAudit()
{
    tvAudit->clear();
    if (!manager_.AuditTrail)
        return;
    for (const TuilAuditEntry& entry : manager_.AuditTrail->Entries()) {
        new QTreeWidgetItem(tvAudit,
                            {QString::fromStdString(entry.Time), QString::fromStdString(entry.UserName),
                             QString::fromStdString(entry.Action), QString::fromStdString(entry.Detail)});
    }
}

void TfrmPermissionsDlg::Report(const TuilUserEvent& event, const std::string& name, const std::string& action)
{
    manager_.Audit(action, name);
    if (event)
        event(this, name);
}

void TfrmPermissionsDlg::ToolButton4Click()
{
    TuilUserBindary& users = manager_.UserBindary;
    SqlTable& table = users.RequireDataSet();
    TfrmEditUser form(users, this);
    users.AppendNewUser();
    form.LoadRecord(table);
    if (form.exec() != QDialog::Accepted) {
        table.Cancel();
        return;
    }
    form.StoreRecord(table);
    table.SetString(users.PasswordField, users.Encrypt(form.txtPassword->text().toStdString()));
    postOrCancel(table);
    Report(events_.OnUserAdded, form.txtUsername->text().toStdString(), "User added");
    RefreshUsers();
}

void TfrmPermissionsDlg::btnEditUserClick()
{
    QTreeWidgetItem* node = tvUsersUsers->currentItem();
    if (!node)
        return;
    node = topLevelOf(node);
    tvUsersUsers->setCurrentItem(node);
    TuilUserBindary& users = manager_.UserBindary;
    if (!users.LocateKey(textOf(node)))
        return;
    SqlTable& table = users.RequireDataSet();
    const std::string noted = table.AsString(users.PasswordField);
    TfrmEditUser form(users, this);
    table.Edit();
    form.LoadRecord(table);
    form.txtPasswordVerify->setText(QString::fromStdString(noted));
    if (form.exec() != QDialog::Accepted) {
        table.Cancel();
        return;
    }
    form.StoreRecord(table);
    // An unchanged password keeps its stored form.
    if (table.AsString(users.PasswordField) != noted)
        table.SetString(users.PasswordField, users.Encrypt(form.txtPassword->text().toStdString()));
    postOrCancel(table);
    Report(events_.OnUserEdited, form.txtUsername->text().toStdString(), "User edited");
    RefreshUsers();
}

void TfrmPermissionsDlg::btnDeleteUserClick()
{
    QTreeWidgetItem* node = tvUsersUsers->currentItem();
    if (node && node->parent())
        btnDelUserPermissionClick();
    else
        RemoveOwner(node, QStringLiteral("Rimuovere l'utente \"%1\"?"), manager_.UserBindary, events_.OnUserDeleted,
                    "User removed");
}

void TfrmPermissionsDlg::RemoveOwner(QTreeWidgetItem* node, const QString& question, TuilBindary& owners,
                                     const TuilUserEvent& event, const std::string& action)
{
    if (!node)
        return;
    const std::string name = textOf(node);
    if (!confirmSecurity(question.arg(node->text(0)), this) || !owners.LocateKey(name))
        return;
    owners.RequireDataSet().Delete();
    Report(event, name, action);
    // Removing either kind of owner changes the membership tree.
    RefreshUsers();
    RefreshGroups();
    RefreshMembership();
}

void TfrmPermissionsDlg::btnAddGroupClick()
{
    TuilGroupBindary& groups = manager_.GroupBindary;
    SqlTable& table = groups.RequireDataSet();
    TfrmEditGroup form(groups, this);
    table.Append();
    form.LoadRecord(table);
    if (form.exec() != QDialog::Accepted) {
        table.Cancel();
        return;
    }
    form.StoreRecord(table);
    postOrCancel(table);
    Report(events_.OnGroupAdded, form.txtGroupName->text().toStdString(), "Group added");
    RefreshGroups();
    RefreshMembership();
}

void TfrmPermissionsDlg::btnEditGroupClick()
{
    QTreeWidgetItem* node = tvGroupsGroups->currentItem();
    TuilGroupBindary& groups = manager_.GroupBindary;
    if (!node || node->parent() || !groups.LocateKey(textOf(node)))
        return;
    SqlTable& table = groups.RequireDataSet();
    TfrmEditGroup form(groups, this);
    table.Edit();
    form.LoadRecord(table);
    if (form.exec() != QDialog::Accepted) {
        table.Cancel();
        return;
    }
    form.StoreRecord(table);
    postOrCancel(table);
    Report(events_.OnGroupEdited, form.txtGroupName->text().toStdString(), "Group edited");
    RefreshGroups();
    RefreshMembership();
}

void TfrmPermissionsDlg::btnDeleteGroupClick()
{
    QTreeWidgetItem* node = tvGroupsGroups->currentItem();
    if (node && node->parent())
        btnDelGroupPermissionClick();
    else
        RemoveOwner(node, QStringLiteral("Rimuovere il gruppo \"%1\"?"), manager_.GroupBindary, events_.OnGroupDeleted,
                    "Group removed");
}

void TfrmPermissionsDlg::GrantSelected(QTreeWidget* tree, QListWidget* list, bool toGroup)
{
    QTreeWidgetItem* node = tree->currentItem();
    if (!node)
        return;
    node = topLevelOf(node);
    const std::string owner = textOf(node);
    TuilOwnedAccessBindary& grants = toGroup
        ? static_cast<TuilOwnedAccessBindary&>(manager_.GroupBindary.GroupPermissions)
        : manager_.UserBindary.UserPermissions;
    for (int i = 0; i < list->count(); ++i) {
        if (!list->item(i)->isSelected())
            continue;
        const std::string permission = list->item(i)->text().toStdString();
        if (grants.Grant(owner, permission)) {
            addChild(node, permission, TSecurityPicture::Permission);
            manager_.Audit(toGroup ? "Permission granted to group" : "Permission granted to user",
                           owner + ": " + permission);
        }
    }
    if (toGroup)
        tree->setCurrentItem(node);
}

void TfrmPermissionsDlg::btnPermissionToUserClick()
{
    GrantSelected(tvUsersUsers, lvUserPermissions, false);
}

void TfrmPermissionsDlg::btnPermissionToGroupClick()
{
    GrantSelected(tvGroupsGroups, lvGroupsPermissions, true);
}

void TfrmPermissionsDlg::btnDelUserPermissionClick()
{
    QTreeWidgetItem* node = tvUsersUsers->currentItem();
    if (!node || !node->parent())
        return;
    const std::string user = textOf(node->parent());
    const std::string permission = textOf(node);
    if (manager_.UserBindary.UserPermissions.Revoke(user, permission)) {
        manager_.Audit("Permission revoked from user", user + ": " + permission);
        delete node;
    }
}

void TfrmPermissionsDlg::btnDelGroupPermissionClick()
{
    QTreeWidgetItem* node = tvGroupsGroups->currentItem();
    if (!node || !node->parent())
        return;
    const std::string group = textOf(node->parent());
    const std::string permission = textOf(node);
    if (manager_.GroupBindary.GroupPermissions.Revoke(group, permission))
        manager_.Audit("Permission revoked from group", group + ": " + permission);
    delete node;
}

void TfrmPermissionsDlg::btnUserToGroupClick()
{
    QTreeWidgetItem* userNode = tvMembershipUsers->currentItem();
    QTreeWidgetItem* groupNode = topLevelOf(tvMembershipGroups->currentItem());
    if (!userNode || !groupNode)
        return;
    const std::string user = textOf(userNode);
    const std::string group = textOf(groupNode);
    manager_.GroupBindary.LocateKey(group);
    if (manager_.GroupBindary.GroupMembershipBindary.AddMember(user, group)) {
        addChild(groupNode, user, TSecurityPicture::User);
        manager_.Audit("Member added", group + ": " + user);
    }
    tvMembershipGroups->setCurrentItem(groupNode);
    // Repeated clicks add consecutive users.
    if (QTreeWidgetItem* next = tvMembershipUsers->itemBelow(userNode))
        tvMembershipUsers->setCurrentItem(next);
}

void TfrmPermissionsDlg::btnDelUserFromGroupClick()
{
    QTreeWidgetItem* node = tvMembershipGroups->currentItem();
    if (!node || !node->parent())
        return;
    const std::string user = textOf(node);
    const std::string group = textOf(node->parent());
    if (manager_.GroupBindary.GroupMembershipBindary.RemoveMember(user, group)) {
        manager_.Audit("Member removed", group + ": " + user);
        RefreshGroups();
        RefreshMembership();
    }
}

void TfrmPermissionsDlg::tvMembershipGroupsChange()
{
    QTreeWidgetItem* node = tvMembershipGroups->currentItem();
    btnDelUserFromGroup->setEnabled(node && node->parent());
}

void TfrmPermissionsDlg::tvUsersUsersDragDrop(TDropTree* tree, QTreeWidgetItem* target)
{
    tree->setCurrentItem(topLevelOf(target));
    if (tree == tvUsersUsers)
        btnPermissionToUserClick();
    else if (tree == tvGroupsGroups)
        btnPermissionToGroupClick();
    else if (tree == tvMembershipGroups)
        btnUserToGroupClick();
    tree->expandAll();
}

void TfrmPermissionsDlg::RemoveOnCurrentTab()
{
    QWidget* page = PageControl->currentWidget();
    if (page == tsUsers)
        btnDeleteUserClick();
    else if (page == tsGroups)
        btnDeleteGroupClick();
    else if (page == tsMembership)
        btnDelUserFromGroupClick();
}

void TfrmPermissionsDlg::AssignOnCurrentTab()
{
    QWidget* page = PageControl->currentWidget();
    if (page == tsUsers)
        btnPermissionToUserClick();
    else if (page == tsGroups)
        btnPermissionToGroupClick();
    else if (page == tsMembership)
        btnUserToGroupClick();
}
