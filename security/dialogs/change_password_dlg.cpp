#include "change_password_dlg.h"

#include "header_band.h"
#include "security_messages.h"

#include "security/security_error.h"
#include "security/security_manager.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

QLineEdit* makePasswordBox(QWidget* parent, const char* name)
{
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setEchoMode(QLineEdit::Password);
    box->setMinimumWidth(200);
    return box;
}

} // namespace

TuilChangePasswordForm::TuilChangePasswordForm(QWidget* parent)
    : THeadedForm(headerMarkup(QStringLiteral("Cambia password"), QStringLiteral("Specificare la nuova password.")),
                  {"btnOK", QStringLiteral("OK"), "btnCancel", QStringLiteral("Cancel")}, parent)
{
    setObjectName("uilChangePasswordForm");
    txtCurrentPassword = makePasswordBox(this, "txtCurrentPassword");
    txtNewPassword = makePasswordBox(this, "txtNewPassword");
    txtConfirmPassword = makePasswordBox(this, "txtConfirmPassword");
    labCurrPwd = new QLabel(this);
    labNewPwd = new QLabel(this);
    labConfirmPwd = new QLabel(this);
    labCurrPwd->setBuddy(txtCurrentPassword);
    labNewPwd->setBuddy(txtNewPassword);
    labConfirmPwd->setBuddy(txtConfirmPassword);
    AddRow(labCurrPwd, txtCurrentPassword);
    AddRow(labNewPwd, txtNewPassword);
    AddRow(labConfirmPwd, txtConfirmPassword);
    btnOK = OkButton();
    btnCancel = CancelButton();
    for (QLineEdit* box : {txtCurrentPassword, txtNewPassword, txtConfirmPassword})
        connect(box, &QLineEdit::textChanged, this, [this] { txtNewPasswordChange(); });
    txtCurrentPassword->setFocus();
}

void TuilChangePasswordForm::txtNewPasswordChange()
{
    const bool confirmed = txtNewPassword->text().compare(txtConfirmPassword->text(), Qt::CaseInsensitive) == 0;
    const bool current = ExpectedPassword.compare(txtCurrentPassword->text(), Qt::CaseInsensitive) == 0;
    btnOK->setEnabled(confirmed && current);
}

void TuilChangePasswordDlg::Execute()
{
    if (!SecurityManager)
        throw EuilSecurityError("You must specify a Security Contoller");
    TuilChangePasswordForm form(Owner);
    form.labCurrPwd->setText(CurrentPasswordCaption);
    form.labNewPwd->setText(NewPasswordCaption);
    form.labConfirmPwd->setText(ConfirmPasswordCaption);
    form.btnOK->setText(OKButtonCaption);
    form.btnCancel->setText(CancelButtonCaption);
    form.setWindowTitle(TitleCaption);
    form.ExpectedPassword = QString::fromStdString(SecurityManager->CurrentPassword());
    form.txtCurrentPassword->setText(form.ExpectedPassword);
    form.txtNewPassword->clear();
    form.txtConfirmPassword->clear();
    form.txtNewPasswordChange();
    if (form.exec() == QDialog::Accepted)
        SecurityManager->ChangePassword(form.txtNewPassword->text().toStdString());
}
