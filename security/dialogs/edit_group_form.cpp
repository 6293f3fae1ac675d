#include "edit_group_form.h"

#include "security/bindaries.h"

TfrmEditGroup::TfrmEditGroup(const TuilGroupBindary& groups, QWidget* parent)
    : TRecordForm(QStringLiteral("Gruppo"), QStringLiteral("Dati gruppo"),
                  QStringLiteral("Specificare i dati del gruppo."), parent)
{
    setObjectName("frmEditGroup");
    txtGroupName = AddEdit("txtGroupName", QStringLiteral("Nome gruppo"), groups.GroupNameField);
    txtGroupDescription =
        AddEdit("txtGroupDescription", QStringLiteral("Descrizione gruppo"), groups.GroupDescriptionField);
}
