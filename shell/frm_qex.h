#pragma once
// The operator's main window: it owns the streaming chain (wave input, ring buffer, plug-in
// host with the processing module, wave output, level-meter connector, loudness meter) and
// everything the operator touches: Start, Stop, Bypass, Parameters, Preferences with the audio
// settings panel, the level meters and the loudness readout, the information window and Exit,
// and access control: the security manager, the form policy on this window's controls, and the
// login, password and user dialogs.

#include "audio_chain.h"
#include "audio_settings_panel.h"
#include "chain_status_view.h"
#include "form_size.h"

#include "change_password_dlg.h"
#include "login_dlg.h"
#include "security/form_policy.h"
#include "security/security_manager.h"
#include "security_dlg.h"
#include "widget_policy_form.h"

#include <QWidget>

#include <functional>
#include <string>

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QToolButton;
class TDataMod;
class TMMLevelScale;
class TMMLevelView;
class TMMLoudnessView;

class TfrmQEX : public QWidget {
public:
    explicit TfrmQEX(TDataMod& dataMod, QWidget* parent = nullptr);
    ~TfrmQEX() override;

    // The streaming chain, linked in this order.
    TAudioChain Chain;
    TMMWaveIn& wi = Chain.wi;
    TMMRingBuffer& MMRingBuffer1 = Chain.MMRingBuffer1;
    TMMDSPPlugin& dspPlugin = Chain.dspPlugin;
    TMMWaveOut& wo = Chain.wo;
    TMMConnector& mmconn = Chain.mmconn;
    TMMLoudnessMeter& mmloudness = Chain.mmloudness;
    TMMChainMonitor& chainMonitor = Chain.monitor;
    TFormSize FormSize1;

    // Access control.
    TuilSecurityManager uilSecurityManager1;
    TWidgetPolicyForm PolicyForm{*this}; // this window as its form policy sees it
    TuilFormPolicy uilFormPolicy1{PolicyForm};
    TuilLoginDlg uilLoginDlg1;
    TuilChangePasswordDlg uilChangePasswordDlg1;
    TuilSecurityDlg uilSecurityDlg1;

    // Window fields.
    std::string DefaultLogin;
    std::string DefaultPassword;
    bool DevicesChanged = false;
    bool ActiveTaskDialog = false; // a confirmation or notice is open
    bool AutoStart = false;

    // Top bar and status.
    QLabel* Image1 = nullptr;
    QPushButton* btnPref = nullptr;
    QPushButton* btnPlay = nullptr;
    QPushButton* btnStop = nullptr;
    QPushButton* btnBypass = nullptr;
    QPushButton* btnView = nullptr;
    QToolButton* btnChangeLogin = nullptr;
    QMenu* popSecurity = nullptr;
    QAction* Changepassword1 = nullptr;
    QAction* Usermanagement1 = nullptr;
    QAction* ChangeLogin1 = nullptr;
    TMMLevelView* MMLevel1 = nullptr; // left channel
    TMMLevelScale* MMLevelScale1 = nullptr;
    TMMLevelView* MMLevel2 = nullptr; // right channel
    TMMLoudnessView* lblLoudness = nullptr;
    QPushButton* PngButton1 = nullptr;
    QPushButton* btnClose = nullptr;
    QLabel* lblUser = nullptr;
    TChainStatusView* lblChain = nullptr; // the chain's delay and dropouts, left of lblUser
    TAudioSettingsPanel* gbSetup = nullptr;

    // Whether the window's buttons show their highlighted scheme.
    static bool isHighlighted(const QPushButton* button);

    // Brings the window to the front, restoring it when minimised (a second start asked).
    void BringToFront();
    // Ends the program at the system's request (logout, shutdown): dismisses an open question,
    // stops and closes without asking.
    void CloseOnSystemRequest();
    // Stops processing and does the closing steps at once (the window has not run yet).
    void ShutDown();
    // Nobody could log in at start with security on: the program ends without showing the window.
    bool LoginRefused() const { return loginRefused_; }

    // Handlers of the top bar and the chain.
    void btnPlayClick();
    void btnStopClick();
    void btnCloseClick();
    void btnViewClick();
    void btnBypassClick();
    void wiStart();
    void wiStop();
    void Image1Click();
    void PngButton1Click();

    // Handlers of the user menu and the security manager.
    void Changepassword1Click();
    void Usermanagement1Click();
    void ChangeLogin1Click();
    void uilSecurityManager1SuccessfulLogin();

    // Handlers of the audio settings panel.
    void btnPrefClick();
    void cbInputChange();
    void cbAutoStartClick();
    void cmbLoginChange();
    void cbSecurityClick();
    void sliderNumBufChange();
    void sliderDimBufChange();
    void sliderNumBufOutChange();
    void sliderDimBufOutChange();
    void btnApplyClick();
    void btnCancelClick();

    // The settings file.
    void FillDeviceLists();
    bool LoadSettings();
    bool SaveSettings();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void BuildChain();
    void BuildControls();
    void BuildMeters();
    void BuildSecurity();
    void LoginAtStart();
    void ApplySecurity();
    void ConnectHandlers();
    void FormCreate();
    void FormShow();
    void LoadModuleAndAutoStart();
    bool FormCloseQuery();
    void FormClose();
    void HidePanel();
    void ShowDevicesChangedNotice();
    void SetDeviceControlsEnabled(bool enabled);
    void PositionSliders();
    std::string SettingsFile() const;
    // Runs a handler the way the application does: an error is shown and the window goes on.
    void Handle(const std::function<void()>& handler);

    TDataMod& dataMod_;
    bool loginRefused_ = false;
    bool shown_ = false;
    bool closeWithoutQuestion_ = false;
    bool closed_ = false;
    bool snapping_ = false;
};
