#pragma once
// The form of one group: its name and description, bound to the current Groups record.

#include "record_form.h"

class TuilGroupBindary;

class TfrmEditGroup : public TRecordForm {
public:
    TfrmEditGroup(const TuilGroupBindary& groups, QWidget* parent = nullptr);

    QLineEdit* txtGroupName = nullptr;
    QLineEdit* txtGroupDescription = nullptr;
};
