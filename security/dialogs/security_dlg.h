#pragma once
// The user and group administration as the main window runs it: shows the administration form
// modally and keeps its size between runs.

#include "permissions_dlg.h"

#include <QSize>
#include <QString>

class QWidget;
class TuilSecurityManager;

class TuilSecurityDlg : public TuilSecurityEvents {
public:
    TuilSecurityManager* SecurityManager = nullptr;
    QWidget* Owner = nullptr;
    QString FormCaption = QStringLiteral("Security Settings");
    QString UsersCaption = QStringLiteral("Users");
    QString GroupsCaption = QStringLiteral("Groups");
    QString MembershipCaption = QStringLiteral("Membership");
    QString AuditCaption = QStringLiteral("Audit trail");
    bool ShowGroups = true;

    virtual ~TuilSecurityDlg() = default;
    // True when the form was closed with "Chiudi"; every change is stored either way.
    virtual bool Execute();

    QSize FormSize() const { return size_; }

private:
    QSize size_{700, 545};
};
