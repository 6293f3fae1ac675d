// The main window's handling of its "Audio settings" panel: buffer sliders act on the chain at
// once, everything else waits for Apply, which stops processing first if it runs.

#include "frm_qex.h"

#include "data_mod.h"
#include "message_boxes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>

using qex::platform::threadPriorityFromIndex;

void TfrmQEX::btnPrefClick()
{
    DevicesChanged = false;
    if (gbSetup->isVisible()) {
        gbSetup->hide();
        return;
    }
    gbSetup->lblNumBuf->setNum(wi.GetNumBuffers());
    gbSetup->lblDimBuf->setNum(wi.GetBufferSize());
    gbSetup->lblNumBufOut->setNum(wo.GetNumBuffers());
    gbSetup->lblDimBufOut->setNum(wo.GetBufferSize());
    gbSetup->btnApply->setEnabled(false);
    gbSetup->show();
}

void TfrmQEX::cbInputChange()
{
    gbSetup->btnApply->setEnabled(true);
}

void TfrmQEX::cbAutoStartClick()
{
    gbSetup->btnApply->setEnabled(true);
}

void TfrmQEX::cmbLoginChange()
{
    gbSetup->btnApply->setEnabled(true);
}

void TfrmQEX::cbSecurityClick()
{
    gbSetup->btnApply->setEnabled(true);
    gbSetup->cmbLogin->setEnabled(gbSetup->cbSecurity->isChecked());
}

void TfrmQEX::sliderNumBufChange()
{
    const int position = gbSetup->sliderNumBuf->value();
    gbSetup->lblNumBuf->setNum(position);
    wi.SetNumBuffers(position);
    MMRingBuffer1.SetNumBuffers(2 * wi.GetNumBuffers());
    gbSetup->btnApply->setEnabled(true);
}

void TfrmQEX::sliderDimBufChange()
{
    wi.SetBufferSize(gbSetup->sliderDimBuf->value() * TAudioSettingsPanel::kSizeStepBytes);
    gbSetup->lblDimBuf->setNum(wi.GetBufferSize());
    MMRingBuffer1.SetBufferSize(wi.GetBufferSize());
    gbSetup->btnApply->setEnabled(true);
}

void TfrmQEX::sliderNumBufOutChange()
{
    wo.SetNumBuffers(gbSetup->sliderNumBufOut->value());
    gbSetup->lblNumBufOut->setNum(gbSetup->sliderNumBufOut->value());
    gbSetup->btnApply->setEnabled(true);
}

void TfrmQEX::sliderDimBufOutChange()
{
    wo.SetBufferSize(gbSetup->sliderDimBufOut->value() * TAudioSettingsPanel::kSizeStepBytes);
    gbSetup->lblDimBufOut->setNum(wo.GetBufferSize());
    gbSetup->btnApply->setEnabled(true);
}

void TfrmQEX::btnApplyClick()
{
    bool apply = true;
    if (wi.Started()) {
        ActiveTaskDialog = true;
        const int answer =
            askTaskDialog({QStringLiteral("Lumavox QEX"), QStringLiteral("Apply changes?"),
                           QStringLiteral("Lumavox QEX is processing audio. If you apply changes it will be stopped.")},
                          this);
        ActiveTaskDialog = false;
        apply = answer == kTaskDialogYes;
    }

    if (apply) {
        AutoStart = gbSetup->cbAutoStart->isChecked();
        wi.Close();
        wo.Close();
        wi.SetDeviceID(gbSetup->cbInput->currentIndex() - 1);
        wo.SetDeviceID(gbSetup->cbOutput->currentIndex() - 1);
        const auto priority = threadPriorityFromIndex(gbSetup->cmbPriority->currentIndex());
        wi.SetPriority(priority);
        wo.SetPriority(priority);

        ApplySecurity();
        gbSetup->btnApply->setEnabled(false);
        uilSecurityManager1.Audit("Apply", gbSetup->cbSecurity->isChecked() ? "security on" : "security off");
    }
    SaveSettings();
}

// Apply's part for access control: the switch, the login used at start, and that login made now.
void TfrmQEX::ApplySecurity()
{
    QCheckBox& security = *gbSetup->cbSecurity;
    uilSecurityManager1.Active = security.isChecked();
    uilFormPolicy1.Active = security.isChecked();
    SqlTable& users = dataMod_.tblUsers;
    if (users.Active() && users.Locate("LoginName", gbSetup->cmbLogin->currentText().toStdString(), false)) {
        DefaultLogin = users.AsString("LoginName");
        DefaultPassword = users.AsString("Password");
    }
    if (security.isChecked()) {
        bool loggedIn = false;
        Handle([&] { loggedIn = uilSecurityManager1.Login(DefaultLogin, DefaultPassword, TuilPasswordForm::Stored); });
        if (!loggedIn) {
            showWarningMessage(QStringLiteral("Error logging as: ") + QString::fromStdString(DefaultLogin), this);
            security.setChecked(false);
            gbSetup->cmbLogin->setEnabled(false);
        }
    }
    if (!security.isChecked())
        lblUser->setText(QStringLiteral("Security disabled"));
    btnChangeLogin->setEnabled(security.isChecked());
}

void TfrmQEX::btnCancelClick()
{
    gbSetup->btnApply->setEnabled(false);
    gbSetup->hide();
}
