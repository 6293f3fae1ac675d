#include "change_password_dlg.h"

#include "header_band.h"
#include "security_messages.h"

#include "security/security_error.h"
#include "security/security_manager.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

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

TuilChangePasswordForm::TuilChangePasswordForm(QWidget* parent) : QDialog(parent)
{
    setObjectName("uilChangePasswordForm");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    Header = new THeaderBand(
        headerMarkup(QStringLiteral("Cambia password"), QStringLiteral("Specificare la nuova password.")), this);
    txtCurrentPassword = makePasswordBox(this, "txtCurrentPassword");
    txtNewPassword = makePasswordBox(this, "txtNewPassword");
    txtConfirmPassword = makePasswordBox(this, "txtConfirmPassword");
    labCurrPwd = new QLabel(this);
    labNewPwd = new QLabel(this);
    labConfirmPwd = new QLabel(this);
    labCurrPwd->setBuddy(txtCurrentPassword);
    labNewPwd->setBuddy(txtNewPassword);
    labConfirmPwd->setBuddy(txtConfirmPassword);

    auto* buttons = new QDialogButtonBox(this);
    btnOK = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    btnOK->setObjectName("btnOK");
    btnOK->setDefault(true);
    btnCancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    btnCancel->setObjectName("btnCancel");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    for (QLineEdit* box : {txtCurrentPassword, txtNewPassword, txtConfirmPassword})
        connect(box, &QLineEdit::textChanged, this, [this] { txtNewPasswordChange(); });

    auto* fields = new QFormLayout;
    fields->setContentsMargins(16, 12, 16, 4);
    fields->addRow(labCurrPwd, txtCurrentPassword);
    fields->addRow(labNewPwd, txtNewPassword);
    fields->addRow(labConfirmPwd, txtConfirmPassword);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 10);
    layout->addWidget(Header);
    layout->addLayout(fields);
    layout->addWidget(buttons);
    buttons->setContentsMargins(16, 0, 16, 0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
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
