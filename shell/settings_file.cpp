// The main window's settings in qex.ini beside the executable: the start-up and security
// switches, the login used at start, the audio devices with their names, the buffer counts and
// sizes, and the thread priority. Every value is read or written through the file at once.

#include "frm_qex.h"

#include "chain_settings.h"
#include "data_mod.h"
#include "message_boxes.h"
#include "platform/profile.h"

#include <QCheckBox>
#include <QComboBox>

using qex::platform::IniFile;

namespace {

constexpr const char* kGeneral = "General";

void fillDeviceList(QComboBox& list, TMMCustomWaveDevice& device)
{
    list.clear();
    for (const std::string& name : deviceNames(device))
        list.addItem(QString::fromStdString(name));
}

} // namespace

void TfrmQEX::FillDeviceLists()
{
    fillDeviceList(*gbSetup->cbInput, wi);
    fillDeviceList(*gbSetup->cbOutput, wo);
}

bool TfrmQEX::LoadSettings()
{
    IniFile file(SettingsFile());
    if (!file.exists())
        return false;

    // Reading the file rewrites these two keys first; a folder that cannot be written is
    // reported, and the settings are read all the same.
    try {
        file.writeInteger(kGeneral, "Visible", 0);
        file.writeInteger(kGeneral, "Minimized", 0);
    } catch (const qex::platform::EIniFileException& error) {
        showErrorMessage(error.what(), this);
    }

    AutoStart = file.readBool(kGeneral, "Auto start", AutoStart);
    // The panel shows the stored choice, so that an Apply made for something else keeps it.
    gbSetup->cbAutoStart->setChecked(AutoStart);
    gbSetup->cbSecurity->setChecked(file.readBool(kGeneral, "Enable Security", gbSetup->cbSecurity->isChecked()));
    DefaultLogin = file.readString(kGeneral, "Default login", DefaultLogin);
    DefaultPassword = file.readString(kGeneral, "Default passwd", DefaultPassword);

    const TStoredDevices stored = readChainSettings(file, Chain, gbSetup->cmbPriority->currentIndex());
    gbSetup->cmbPriority->setCurrentIndex(stored.priorityIndex);
    DevicesChanged = false;
    if (devicesChangedSince(stored, Chain)) {
        ShowDevicesChangedNotice();
        DevicesChanged = true;
    }
    return true;
}

void TfrmQEX::ShowDevicesChangedNotice()
{
    ActiveTaskDialog = true;
    showTaskDialogNotice({QStringLiteral("Lumavox QEX"), QStringLiteral("Audio devices settings were changed"),
                          QStringLiteral("Some changes were detected in audio device settings. Please check it.")},
                         QMessageBox::Information, this);
    ActiveTaskDialog = false;
}

bool TfrmQEX::SaveSettings()
{
    IniFile file(SettingsFile());
    file.writeBool(kGeneral, "Auto start", AutoStart);
    file.writeInteger(kGeneral, "Visible", 0);
    file.writeInteger(kGeneral, "Minimized", 0);
    file.writeBool(kGeneral, "Enable Security", gbSetup->cbSecurity->isChecked());
    file.writeString(kGeneral, "Default login", DefaultLogin);
    file.writeString(kGeneral, "Default passwd", DefaultPassword);
    writeChainSettings(file, Chain, gbSetup->cmbPriority->currentIndex());
    return true;
}
