#include "record_form.h"

#include "header_band.h"

#include "security/sql_table.h"

#include <QLineEdit>

TRecordForm::TRecordForm(const QString& caption, const QString& headerTitle, const QString& headerLine, QWidget* parent)
    : THeadedForm(headerMarkup(headerTitle, headerLine),
                  {"btnOK", QStringLiteral("OK"), "btnCancel", QStringLiteral("Annulla")}, parent)
{
    setWindowTitle(caption);
    btnOK = OkButton();
    btnCancel = CancelButton();
}

QLineEdit* TRecordForm::AddEdit(const char* name, const QString& label, const std::string& column)
{
    auto* edit = new QLineEdit(this);
    edit->setObjectName(name);
    edit->setMinimumWidth(240);
    AddRow(label, edit);
    if (!column.empty())
        bound_.emplace_back(edit, column);
    return edit;
}

void TRecordForm::LoadRecord(const SqlTable& table)
{
    for (const auto& [edit, column] : bound_)
        edit->setText(QString::fromStdString(table.AsString(column)));
}

void TRecordForm::StoreRecord(SqlTable& table) const
{
    for (const auto& [edit, column] : bound_)
        table.SetString(column, edit->text().toStdString());
}
