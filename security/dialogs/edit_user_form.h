#pragma once
// The form of one user: name, full name, password typed twice, whether the user is enabled, and
// when the account was made and last used. Bound to the current Users record.

#include "record_form.h"

class QCheckBox;
class QLabel;
class TuilUserBindary;

class TfrmEditUser : public TRecordForm {
public:
    TfrmEditUser(const TuilUserBindary& users, QWidget* parent = nullptr);

    QLineEdit* txtUsername = nullptr;
    QLineEdit* txtFullName = nullptr;
    QLineEdit* txtPassword = nullptr;
    QLineEdit* txtPasswordVerify = nullptr;
    QLabel* labCreatedDate = nullptr;
    QLabel* labLastAccess = nullptr;
    QLabel* labAccessCount = nullptr;
    QCheckBox* cbEnabled = nullptr;

    void LoadRecord(const SqlTable& table) override;
    void StoreRecord(SqlTable& table) const override;
    // Closing with OK checks the name and the repeated password first.
    void done(int result) override;

private:
    QString Text(const SqlTable& table, const std::string& column) const;

    const TuilUserBindary& users_;
};
