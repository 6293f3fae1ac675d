#pragma once
// The change-password dialog: the logged-in user sets a new password, typed twice.

#include "headed_form.h"

class QLabel;
class QLineEdit;
class QPushButton;
class TuilSecurityManager;

class TuilChangePasswordForm : public THeadedForm {
public:
    explicit TuilChangePasswordForm(QWidget* parent = nullptr);

    QLabel* labCurrPwd = nullptr;
    QLabel* labNewPwd = nullptr;
    QLabel* labConfirmPwd = nullptr;
    QLineEdit* txtCurrentPassword = nullptr;
    QLineEdit* txtNewPassword = nullptr;
    QLineEdit* txtConfirmPassword = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;
    // The password the current-password box must hold.
    QString ExpectedPassword;

    // OK only while the new password is confirmed and the current one is the expected one
    // (both ignoring letter case); runs on every change of the three boxes.
    void txtNewPasswordChange();
};

class TuilChangePasswordDlg {
public:
    TuilSecurityManager* SecurityManager = nullptr;
    QWidget* Owner = nullptr;
    QString TitleCaption = QStringLiteral("Change Password");
    QString CurrentPasswordCaption = QStringLiteral("&Current password:");
    QString NewPasswordCaption = QStringLiteral("&New password:");
    QString ConfirmPasswordCaption = QStringLiteral("C&onfirm password");
    QString OKButtonCaption = QStringLiteral("OK");
    QString CancelButtonCaption = QStringLiteral("Cancel");

    virtual ~TuilChangePasswordDlg() = default;
    // Shows the form and, on OK, stores the new password.
    virtual void Execute();
};
