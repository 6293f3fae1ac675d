#include "headed_form.h"

#include "header_band.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>
#include <QVBoxLayout>

THeadedForm::THeadedForm(const QString& markup, const Buttons& buttons, QWidget* parent) : QDialog(parent)
{
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    Header = new THeaderBand(markup, this);
    fields_ = new QFormLayout;
    fields_->setContentsMargins(16, 12, 16, 4);

    auto* box = new QDialogButtonBox(this);
    ok_ = box->addButton(buttons.okCaption, QDialogButtonBox::AcceptRole);
    ok_->setObjectName(buttons.okName);
    ok_->setDefault(true);
    cancel_ = box->addButton(buttons.cancelCaption, QDialogButtonBox::RejectRole);
    cancel_->setObjectName(buttons.cancelName);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    box->setContentsMargins(16, 0, 16, 0);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 10);
    layout->addWidget(Header);
    layout->addLayout(fields_);
    layout->addWidget(box);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void THeadedForm::AddRow(QWidget* label, QWidget* control)
{
    fields_->addRow(label, control);
}

void THeadedForm::AddRow(const QString& label, QWidget* control)
{
    fields_->addRow(label, control);
}
