#pragma once
// A small modal form whose edits are bound to the columns of a table's current record: a header,
// the fields, "OK" and "Annulla". The record is read when the form is filled and written back
// into the pending change when it is stored; posting is the caller's.

#include "headed_form.h"

#include <string>
#include <utility>
#include <vector>

class QLineEdit;
class SqlTable;

class TRecordForm : public THeadedForm {
public:
    TRecordForm(const QString& caption, const QString& headerTitle, const QString& headerLine, QWidget* parent);

    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;

    // Reads the bound columns of the table's current record into the edits.
    virtual void LoadRecord(const SqlTable& table);
    // Writes the edits into the table's pending change.
    virtual void StoreRecord(SqlTable& table) const;

protected:
    // An edit bound to a column; no column name leaves it unbound.
    QLineEdit* AddEdit(const char* name, const QString& label, const std::string& column);

private:
    std::vector<std::pair<QLineEdit*, std::string>> bound_;
};
