#include "edit_user_form.h"

#include "security_messages.h"

#include "security/bindaries.h"
#include "security/sql_table.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

TfrmEditUser::TfrmEditUser(const TuilUserBindary& users, QWidget* parent)
    : TRecordForm(QStringLiteral("Utente"), QStringLiteral("Dati utente"),
                  QStringLiteral("Specificare i dati per effettuare il login."), parent),
      users_(users)
{
    setObjectName("frmEditUser");
    txtUsername = AddEdit("txtUsername", QStringLiteral("Nome utente"), users.UserNameField);
    txtFullName = AddEdit("txtFullName", QStringLiteral("Nome completo"), users.FullNameField);
    txtPassword = AddEdit("txtPassword", QStringLiteral("Password"), users.PasswordField);
    txtPasswordVerify = AddEdit("txtPasswordVerify", QStringLiteral("Ripeti Password"), {});
    txtPassword->setEchoMode(QLineEdit::Password);
    txtPasswordVerify->setEchoMode(QLineEdit::Password);
    labCreatedDate = new QLabel(this);
    labLastAccess = new QLabel(this);
    labAccessCount = new QLabel(this);
    AddRow(QStringLiteral("Account creato il:"), labCreatedDate);
    AddRow(QStringLiteral("Ultimo accesso:"), labLastAccess);
    AddRow(QStringLiteral("Numero di accessi:"), labAccessCount);
    cbEnabled = new QCheckBox(QStringLiteral("Abilitato"), this);
    cbEnabled->setObjectName("cbEnabled");
    AddRow(QString(), cbEnabled);
}

QString TfrmEditUser::Text(const SqlTable& table, const std::string& column) const
{
    return column.empty() ? QString() : QString::fromStdString(table.AsString(column));
}

void TfrmEditUser::LoadRecord(const SqlTable& table)
{
    TRecordForm::LoadRecord(table);
    labCreatedDate->setText(
        (Text(table, users_.CreatedDateField) + QLatin1Char(' ') + Text(table, users_.CreatedTimeField)).trimmed());
    labLastAccess->setText(
        (Text(table, users_.LastAccessField) + QLatin1Char(' ') + Text(table, users_.LastAccessTimeField)).trimmed());
    labAccessCount->setText(Text(table, users_.AccessCountField));
    if (!users_.EnabledField.empty())
        cbEnabled->setChecked(users_.CurrentUserEnabled());
}

void TfrmEditUser::StoreRecord(SqlTable& table) const
{
    TRecordForm::StoreRecord(table);
    if (users_.EnabledField.empty())
        return;
    if (table.IsBooleanField(users_.EnabledField))
        table.SetBoolean(users_.EnabledField, cbEnabled->isChecked());
    else
        table.SetString(users_.EnabledField, cbEnabled->isChecked() ? "True" : "False");
}

void TfrmEditUser::done(int result)
{
    if (result == QDialog::Accepted) {
        if (txtUsername->text().isEmpty()) {
            showSecurityError(QStringLiteral("Nome utente non valido."), this);
            txtUsername->setFocus();
            return;
        }
        if (txtPassword->text() != txtPasswordVerify->text()) {
            showSecurityError(QStringLiteral("Le password non coincidono."), this);
            txtPassword->setFocus();
            return;
        }
    }
    TRecordForm::done(result);
}
