#include "record_form.h"

#include "header_band.h"

#include "security/sql_table.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TRecordForm::TRecordForm(const QString& caption, const QString& headerTitle, const QString& headerLine,
                         QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(caption);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    Header = new THeaderBand(headerMarkup(headerTitle, headerLine), this);
    fields_ = new QFormLayout;
    fields_->setContentsMargins(16, 12, 16, 4);

    auto* buttons = new QDialogButtonBox(this);
    btnOK = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    btnOK->setObjectName("btnOK");
    btnOK->setDefault(true);
    btnCancel = buttons->addButton(QStringLiteral("Annulla"), QDialogButtonBox::RejectRole);
    btnCancel->setObjectName("btnCancel");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    buttons->setContentsMargins(16, 0, 16, 0);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 10);
    layout->addWidget(Header);
    layout->addLayout(fields_);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
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

void TRecordForm::AddRow(const QString& label, QWidget* control)
{
    fields_->addRow(label, control);
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
