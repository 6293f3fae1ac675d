#pragma once
// The login dialog: asks for a user name and password and logs in through the security
// manager, with a fixed number of attempts. Each failed attempt holds the Login button back a
// little longer, so that guessing passwords at the keyboard is impractical.

#include "headed_form.h"

#include <chrono>
#include <functional>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;
class TuilSecurityManager;

class TuilLoginForm : public THeadedForm {
public:
    explicit TuilLoginForm(QWidget* parent = nullptr);

    QLabel* labUsername = nullptr;
    QLineEdit* txtUsername = nullptr;
    QLabel* labPassword = nullptr;
    QLineEdit* txtPassword = nullptr;
    QPushButton* btnLogin = nullptr;
    QPushButton* btnCancel = nullptr;

    // Keeps the Login button disabled for a while.
    void HoldLogin(std::chrono::milliseconds delay);
};

class TuilLoginDlg {
public:
    TuilSecurityManager* SecurityManager = nullptr;
    QWidget* Owner = nullptr;
    bool UseWindowsUserName = true;
    QString TitleCaption = QStringLiteral("Login");
    QString UsernameCaption = QStringLiteral("Username:");
    QString PasswordCaption = QStringLiteral("Password:");
    QString LoginButtonCaption = QStringLiteral("Login");
    QString CancelButtonCaption = QStringLiteral("Cancel");
    int Retries = 3;
    // How long the Login button waits after the first failure; each further failure adds as much.
    std::chrono::milliseconds FailureDelay{1000};
    std::function<void(TuilLoginDlg& sender)> OnBeforeLoginAttempt;
    std::function<void(TuilLoginDlg& sender)> OnAfterLoginAttempt;
    // The name put into the form; after each confirmed attempt the name typed in it.
    std::string PresetUserName;

    virtual ~TuilLoginDlg() = default;
    // The name of the user logged on to the computer (at most 128 characters), or empty.
    virtual std::string PlatformUserName() const;
    // True when a login succeeded.
    virtual bool Execute();

private:
    void BuildForm(TuilLoginForm& form) const;
    bool TryLogin(TuilLoginForm& form);
};
