#include "login_dlg.h"

#include "header_band.h"
#include "security_messages.h"

#include "security/security_error.h"
#include "security/security_manager.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <pwd.h>
#include <unistd.h>

namespace {

constexpr std::size_t kMaxPlatformUserName = 128;

} // namespace

TuilLoginForm::TuilLoginForm(QWidget* parent)
    : THeadedForm(
          headerMarkup(QStringLiteral("Login"), QStringLiteral("Digitare il proprio nome utente e la password.")),
          {"btnLogin", QStringLiteral("Login"), "btnCancel", QStringLiteral("Cancel")}, parent)
{
    setObjectName("uilLoginForm");
    setWindowTitle(QStringLiteral("Login"));
    labUsername = new QLabel(QStringLiteral("&User name:"), this);
    labUsername->setObjectName("labUsername");
    txtUsername = new QLineEdit(this);
    txtUsername->setObjectName("txtUsername");
    txtUsername->setMinimumWidth(220);
    labPassword = new QLabel(QStringLiteral("&Password:"), this);
    labPassword->setObjectName("labPassword");
    txtPassword = new QLineEdit(this);
    txtPassword->setObjectName("txtPassword");
    txtPassword->setEchoMode(QLineEdit::Password);
    labUsername->setBuddy(txtUsername);
    labPassword->setBuddy(txtPassword);
    AddRow(labUsername, txtUsername);
    AddRow(labPassword, txtPassword);
    btnLogin = OkButton();
    btnCancel = CancelButton();
    txtUsername->setFocus();
}

void TuilLoginForm::HoldLogin(std::chrono::milliseconds delay)
{
    btnLogin->setEnabled(false);
    QTimer::singleShot(delay, btnLogin, [button = btnLogin] { button->setEnabled(true); });
}

std::string TuilLoginDlg::PlatformUserName() const
{
    const passwd* account = ::getpwuid(::geteuid());
    const std::string name = account && account->pw_name ? account->pw_name : "";
    return name.substr(0, kMaxPlatformUserName);
}

void TuilLoginDlg::BuildForm(TuilLoginForm& form) const
{
    const QString title = applicationTitle();
    form.labUsername->setText(UsernameCaption);
    form.labPassword->setText(PasswordCaption);
    form.btnLogin->setText(LoginButtonCaption);
    form.btnCancel->setText(CancelButtonCaption);
    form.setWindowTitle(title + QLatin1Char(' ') + TitleCaption);
    // The header's first line names the program.
    QString markup = form.Header->Markup();
    const qsizetype lineEnd = markup.indexOf(QStringLiteral("<BR>"), 0, Qt::CaseInsensitive);
    QString firstLine = markup.left(lineEnd);
    firstLine.replace(QStringLiteral("Login"), title + QStringLiteral(" Login"));
    form.Header->SetMarkup(firstLine + markup.mid(lineEnd));
}

bool TuilLoginDlg::TryLogin(TuilLoginForm& form)
{
    // A database that fails during the attempt is reported; the attempt counts as failed.
    bool loggedIn = false;
    handleSecurityAction(&form, [&] {
        loggedIn =
            SecurityManager->Login(form.txtUsername->text().toStdString(), form.txtPassword->text().toStdString());
    });
    return loggedIn;
}

bool TuilLoginDlg::Execute()
{
    if (!SecurityManager)
        throw EuilSecurityError("You must specify a Security Contoller");
    TuilLoginForm form(Owner);
    BuildForm(form);
    if (UseWindowsUserName && PresetUserName.empty())
        PresetUserName = PlatformUserName();
    if (!PresetUserName.empty()) {
        form.txtUsername->setText(QString::fromStdString(PresetUserName));
        form.txtPassword->setFocus();
    }

    bool result = false;
    int failures = 0;
    int attempt = 1;
    do {
        if (failures > 0) {
            form.HoldLogin(FailureDelay * failures);
            form.txtPassword->setFocus();
            form.txtPassword->selectAll();
        }
        if (form.exec() == QDialog::Accepted) {
            PresetUserName = form.txtUsername->text().toStdString();
            if (OnBeforeLoginAttempt)
                OnBeforeLoginAttempt(*this);
            SecurityManager->LoginAttempt = attempt;
            SecurityManager->RemainingAttempts = Retries - attempt;
            result = TryLogin(form);
            failures += result ? 0 : 1;
        } else {
            attempt = Retries + 1;
        }
        if (OnAfterLoginAttempt)
            OnAfterLoginAttempt(*this);
        ++attempt;
    } while (!result && attempt <= Retries);
    return result;
}
