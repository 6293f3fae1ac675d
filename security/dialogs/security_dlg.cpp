#include "security_dlg.h"

#include "security/security_error.h"

#include <QTabWidget>

bool TuilSecurityDlg::Execute()
{
    if (!SecurityManager)
        throw EuilSecurityError("You must specify a Security Contoller");
    TfrmPermissionsDlg form(*SecurityManager, *this, Owner);
    form.setWindowTitle(FormCaption);
    QTabWidget& pages = *form.PageControl;
    pages.setTabText(pages.indexOf(form.tsUsers), UsersCaption);
    pages.setTabText(pages.indexOf(form.tsGroups), GroupsCaption);
    pages.setTabText(pages.indexOf(form.tsMembership), MembershipCaption);
    pages.setTabText(pages.indexOf(form.tsAudit), AuditCaption);
    pages.setTabVisible(pages.indexOf(form.tsGroups), ShowGroups);
    pages.setTabVisible(pages.indexOf(form.tsMembership), ShowGroups);
    pages.setCurrentIndex(0);
    form.resize(size_);
    form.FormShow();
    if (form.exec() != QDialog::Accepted)
        return false;
    size_ = form.size();
    return true;
}
