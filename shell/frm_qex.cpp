#include "frm_qex.h"

#include "artwork.h"
#include "audit_hook.h"
#include "chain_settings.h"
#include "data_mod.h"
#include "frm_info.h"
#include "message_boxes.h"
#include "platform/operator_log.h"
#include "platform/profile.h"
#include "security/table_bindings.h"

#include "widgets/level_scale.h"
#include "widgets/level_view.h"
#include "widgets/loudness_view.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

constexpr int kMinimumWidth = 799;
constexpr int kSnapDistance = 10;
const char* const kSchemeProperty = "colourScheme";
const char* const kMakerAddress = "https://www.lumavox.example/qex";

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption, const QString& hint)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setToolTip(hint);
    button->setMinimumHeight(40);
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return button;
}

QPushButton* makePictureButton(QWidget* parent, const char* name, const QIcon& picture, const QString& hint)
{
    QPushButton* button = makeButton(parent, name, QString(), hint);
    button->setIcon(picture);
    button->setIconSize(QSize(24, 24));
    button->setFixedWidth(48);
    return button;
}

// Silver while idle, rose while the button's state is active.
void setScheme(QPushButton* button, bool highlighted)
{
    button->setProperty(kSchemeProperty, highlighted ? "rose" : "silver");
    button->style()->unpolish(button);
    button->style()->polish(button);
}

} // namespace

TfrmQEX::TfrmQEX(TDataMod& dataMod, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint), dataMod_(dataMod)
{
    setObjectName("frmQEX");
    setWindowTitle(QStringLiteral("Lumavox QEX"));
    setStyleSheet(
        QStringLiteral("QPushButton[colourScheme=\"silver\"] { background-color: #c9c9cc; border: 1px solid #8c8c92;"
                       " border-radius: 3px; padding: 4px 10px; }"
                       "QPushButton[colourScheme=\"rose\"] { background-color: #f4b6c6; border: 1px solid #b0476a;"
                       " border-radius: 3px; padding: 4px 10px; }"));

    BuildControls();
    BuildChain();
    BuildSecurity();
    ConnectHandlers();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        FormSize1.Restore(*this, screen->availableGeometry());
    Handle([this] { FormCreate(); });
    // With security on, a start-up that failed before anybody logged in does not leave the
    // processor unguarded.
    if (gbSetup->cbSecurity->isChecked() && !uilSecurityManager1.LoggedIn())
        loginRefused_ = true;
}

TfrmQEX::~TfrmQEX()
{
    setAuditHookTarget(nullptr);
    // Normally the closing steps have let go of the devices; whatever still runs stops here,
    // before the components are destroyed.
    dspPlugin.UnloadModules();
    wi.Close();
    try {
        FormSize1.Save(*this);
    } catch (const std::exception&) {
        // The placement is a convenience; a folder that cannot be written has been reported.
    }
}

void TfrmQEX::BuildControls()
{
    Image1 = new QLabel(this);
    Image1->setObjectName("Image1");
    Image1->setPixmap(artwork::logo(QSize(132, 40)));
    Image1->setCursor(Qt::PointingHandCursor);
    Image1->installEventFilter(this);

    btnPref = makeButton(this, "btnPref", QStringLiteral("Preferences"), QStringLiteral("Edit audio devices"));
    btnPlay = makePictureButton(this, "btnPlay", artwork::playIcon(), QStringLiteral("Start"));
    btnStop = makePictureButton(this, "btnStop", artwork::stopIcon(), QStringLiteral("Stop"));
    btnBypass = makePictureButton(this, "btnBypass", artwork::bypassIcon(), QStringLiteral("Bypass"));
    btnView = makeButton(this, "btnView", QStringLiteral("Parameters"), QStringLiteral("Edit processor parameters"));

    btnChangeLogin = new QToolButton(this);
    btnChangeLogin->setObjectName("btnChangeLogin");
    btnChangeLogin->setIcon(artwork::userIcon());
    btnChangeLogin->setIconSize(QSize(24, 24));
    btnChangeLogin->setToolTip(QStringLiteral("User permissions"));
    btnChangeLogin->setMinimumSize(48, 40);
    btnChangeLogin->setPopupMode(QToolButton::InstantPopup);
    popSecurity = new QMenu(btnChangeLogin);
    popSecurity->setObjectName("popSecurity");
    Changepassword1 = popSecurity->addAction(QStringLiteral("Change password"));
    Changepassword1->setObjectName("Changepassword1");
    Usermanagement1 = popSecurity->addAction(QStringLiteral("User management"));
    Usermanagement1->setObjectName("Usermanagement1");
    popSecurity->addSeparator();
    ChangeLogin1 = popSecurity->addAction(QStringLiteral("Login"));
    ChangeLogin1->setObjectName("ChangeLogin1");
    btnChangeLogin->setMenu(popSecurity);

    BuildMeters();
    auto* meters = new QVBoxLayout;
    meters->setSpacing(0);
    meters->addStretch();
    meters->addWidget(MMLevel1);
    meters->addWidget(MMLevelScale1);
    meters->addWidget(MMLevel2);
    meters->addStretch();
    lblLoudness = new TMMLoudnessView(mmloudness, this);
    lblLoudness->setObjectName("lblLoudness");

    PngButton1 =
        makePictureButton(this, "PngButton1", artwork::infoIcon(), QStringLiteral("Show information about QEX"));
    btnClose = makeButton(this, "btnClose", QStringLiteral("Exit"), QString());

    auto* bar = new QHBoxLayout;
    bar->addWidget(Image1);
    for (QWidget* w : std::initializer_list<QWidget*>{btnPref, btnPlay, btnStop, btnBypass, btnView, btnChangeLogin})
        bar->addWidget(w);
    bar->addSpacing(8);
    bar->addLayout(meters);
    bar->addSpacing(4);
    bar->addWidget(lblLoudness);
    bar->addStretch();
    bar->addWidget(PngButton1);
    bar->addWidget(btnClose);

    lblUser = new QLabel(QStringLiteral("Security disabled"), this);
    lblUser->setObjectName("lblUser");
    lblUser->setAlignment(Qt::AlignRight);
    lblChain = new TChainStatusView(chainMonitor, this);
    lblChain->setObjectName("lblChain");
    auto* status = new QHBoxLayout;
    status->addWidget(lblChain);
    status->addStretch();
    status->addWidget(lblUser);

    gbSetup = new TAudioSettingsPanel(this);
    gbSetup->hide();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    auto* width = new QWidget(this);
    width->setFixedSize(kMinimumWidth - 8, 0);
    layout->addWidget(width);
    layout->addLayout(bar);
    layout->addLayout(status);
    layout->addWidget(gbSetup);

    for (QPushButton* b : {btnPref, btnPlay, btnStop, btnBypass, btnView, PngButton1, btnClose})
        setScheme(b, false);
}

// Left channel above, right channel below, the dB scale between them.
void TfrmQEX::BuildMeters()
{
    const auto makeMeter = [this](const char* name, TMMChannel channel) {
        auto* view = new TMMLevelView(this);
        view->setObjectName(name);
        TMMLevel& meter = view->Level();
        meter.SetSpotWidth(3);
        meter.SetInactive1Color(mmRgb(0, 0, 0));
        meter.SetInactive2Color(mmRgb(0, 0, 0));
        meter.SetInactive3Color(mmRgb(0, 0, 0));
        meter.SetBitLength(TMMBits::b16Bit);
        meter.SetMode(TMMMode::mStereo);
        meter.SetPeakDelay(10);
        meter.SetDecayMode(TMMDecayMode::dmUniform);
        meter.SetChannel(channel);
        view->setFixedSize(147, 9);
        return view;
    };
    MMLevel1 = makeMeter("MMLevel1", TMMChannel::chLeft);
    MMLevel2 = makeMeter("MMLevel2", TMMChannel::chRight);
    MMLevelScale1 = new TMMLevelScale(this);
    MMLevelScale1->setObjectName("MMLevelScale1");
    MMLevelScale1->SetScale({11, 5, 7, TMMScaleOrigin::soInner, false, true});
    QFont small = MMLevelScale1->font();
    small.setPixelSize(8);
    MMLevelScale1->setFont(small);
    // The scale sits between the two black bars, so its white labels need the same ground.
    QPalette dark = MMLevelScale1->palette();
    dark.setColor(QPalette::Window, Qt::black);
    MMLevelScale1->setPalette(dark);
    MMLevelScale1->setFixedSize(147, MMLevelScale1->sizeHint().height());
}

// The window's part of the chain: the meters it feeds, the owner of the module's panel and the
// start and stop events.
void TfrmQEX::BuildChain()
{
    mmconn.SetLevel1(&MMLevel1->Level());
    mmconn.SetLevel2(&MMLevel2->Level());
    dspPlugin.SetOwnerWindow(reinterpret_cast<void*>(winId()));
    wi.OnStart = [this](TMMDSPComponent*) { wiStart(); };
    wi.OnStop = [this](TMMDSPComponent*) { wiStop(); };
}

void TfrmQEX::ConnectHandlers()
{
    const auto on = [this](QPushButton* button, void (TfrmQEX::*handler)()) {
        connect(button, &QPushButton::clicked, this,
                [this, handler] { Handle([this, handler] { (this->*handler)(); }); });
    };
    on(btnPref, &TfrmQEX::btnPrefClick);
    on(btnPlay, &TfrmQEX::btnPlayClick);
    on(btnStop, &TfrmQEX::btnStopClick);
    on(btnBypass, &TfrmQEX::btnBypassClick);
    on(btnView, &TfrmQEX::btnViewClick);
    on(PngButton1, &TfrmQEX::PngButton1Click);
    on(btnClose, &TfrmQEX::btnCloseClick);
    on(gbSetup->btnApply, &TfrmQEX::btnApplyClick);
    on(gbSetup->btnCancel, &TfrmQEX::btnCancelClick);

    const auto onMenu = [this](QAction* action, void (TfrmQEX::*handler)()) {
        connect(action, &QAction::triggered, this,
                [this, handler] { Handle([this, handler] { (this->*handler)(); }); });
    };
    onMenu(Changepassword1, &TfrmQEX::Changepassword1Click);
    onMenu(Usermanagement1, &TfrmQEX::Usermanagement1Click);
    onMenu(ChangeLogin1, &TfrmQEX::ChangeLogin1Click);

    const auto onChange = [this](auto* control, auto signal, void (TfrmQEX::*handler)()) {
        connect(control, signal, this, [this, handler] { Handle([this, handler] { (this->*handler)(); }); });
    };
    onChange(gbSetup->cbInput, &QComboBox::activated, &TfrmQEX::cbInputChange);
    onChange(gbSetup->cbOutput, &QComboBox::activated, &TfrmQEX::cbInputChange);
    onChange(gbSetup->cmbLogin, &QComboBox::activated, &TfrmQEX::cmbLoginChange);
    onChange(gbSetup->cmbPriority, &QComboBox::activated, &TfrmQEX::cbAutoStartClick);
    onChange(gbSetup->cbAutoStart, &QCheckBox::clicked, &TfrmQEX::cbAutoStartClick);
    onChange(gbSetup->cbSecurity, &QCheckBox::clicked, &TfrmQEX::cbSecurityClick);
    onChange(gbSetup->sliderNumBuf, &QSlider::valueChanged, &TfrmQEX::sliderNumBufChange);
    onChange(gbSetup->sliderDimBuf, &QSlider::valueChanged, &TfrmQEX::sliderDimBufChange);
    onChange(gbSetup->sliderNumBufOut, &QSlider::valueChanged, &TfrmQEX::sliderNumBufOutChange);
    onChange(gbSetup->sliderDimBufOut, &QSlider::valueChanged, &TfrmQEX::sliderDimBufOutChange);
}

void TfrmQEX::Handle(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const std::exception& error) {
        showErrorMessage(error.what(), this);
    }
}

bool TfrmQEX::isHighlighted(const QPushButton* button)
{
    return button->property(kSchemeProperty).toString() == QStringLiteral("rose");
}

void TfrmQEX::FormCreate()
{
    DefaultLogin = "admin";
    FillDeviceLists();
    if (!LoadSettings())
        chooseFirstStartDevices(Chain);
    try {
        dataMod_.FillLoginList(*gbSetup->cmbLogin);
    } catch (const std::exception&) {
        // The database did not open at start (already reported): no logins to offer.
    }
    gbSetup->cbInput->setCurrentIndex(wi.GetDeviceID() + 1);
    gbSetup->cbOutput->setCurrentIndex(wo.GetDeviceID() + 1);
    PositionSliders();

    QCheckBox& security = *gbSetup->cbSecurity;
    const int login = gbSetup->cmbLogin->findText(QString::fromStdString(DefaultLogin), Qt::MatchExactly);
    gbSetup->cmbLogin->setCurrentIndex(login);
    // Without its database the login is unknown only because nobody can be looked up: security
    // stays on, and the login below fails.
    if (login < 0 && security.isChecked() && dataMod_.ADOConnection1.Connected()) {
        showWarningMessage(
            QStringLiteral("Login as \"%1\" failed. Unknown user.").arg(QString::fromStdString(DefaultLogin)), this);
        security.setChecked(false);
    }
    gbSetup->cmbLogin->setEnabled(security.isChecked());
    btnChangeLogin->setEnabled(security.isChecked());
    if (security.isChecked())
        LoginAtStart();
    else
        lblUser->setText(QStringLiteral("Security disabled"));
}

// The bindings, the dialogs and the form policy, as they stand once the window is built; the
// policy's items are loaded here and applied with the first login.
void TfrmQEX::BuildSecurity()
{
    bindSecurityTables(uilSecurityManager1,
                       {&dataMod_.dsUsers, &dataMod_.dsUserAccess, &dataMod_.dsGroups, &dataMod_.dsGroupAccess,
                        &dataMod_.dsGroupMembers, &dataMod_.dsPermissions});
    uilSecurityManager1.Active = false;
    uilSecurityManager1.AuditTrail = &dataMod_.AuditTrail;
    uilSecurityManager1.OnSuccessfulLogin = [this](TuilSecurityManager&) { uilSecurityManager1SuccessfulLogin(); };
    setAuditHookTarget(
        [this](const std::string& action, const std::string& detail) { uilSecurityManager1.Audit(action, detail); });
    uilLoginDlg1.SecurityManager = &uilSecurityManager1;
    uilLoginDlg1.UseWindowsUserName = false;
    uilChangePasswordDlg1.SecurityManager = &uilSecurityManager1;
    uilChangePasswordDlg1.Owner = this;
    uilSecurityDlg1.SecurityManager = &uilSecurityManager1;
    uilSecurityDlg1.Owner = this;
    uilFormPolicy1.Active = false;
    uilFormPolicy1.SetSecurityManager(&uilSecurityManager1);
    try {
        uilFormPolicy1.Loaded();
    } catch (const std::exception&) {
        // The database did not open at start (already reported): no restrictions to load.
    }
}

void TfrmQEX::LoginAtStart()
{
    uilSecurityManager1.Active = true;
    uilFormPolicy1.Active = true;
    bool loggedIn = false;
    Handle([&] { loggedIn = uilSecurityManager1.Login(DefaultLogin, DefaultPassword, TuilPasswordForm::Stored); });
    if (!loggedIn)
        Handle([&] { loggedIn = uilLoginDlg1.Execute(); });
    loginRefused_ = !loggedIn;
}

void TfrmQEX::PositionSliders()
{
    gbSetup->sliderNumBuf->setValue(wi.GetNumBuffers());
    gbSetup->sliderDimBuf->setValue(wi.GetBufferSize() / TAudioSettingsPanel::kSizeStepBytes);
    gbSetup->sliderNumBufOut->setValue(wo.GetNumBuffers());
    gbSetup->sliderDimBufOut->setValue(wo.GetBufferSize() / TAudioSettingsPanel::kSizeStepBytes);
}

void TfrmQEX::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (shown_)
        return;
    shown_ = true;
    // The first showing finishes before the module is loaded and processing may start.
    QMetaObject::invokeMethod(
        this, [this] { FormShow(); }, Qt::QueuedConnection);
}

void TfrmQEX::FormShow()
{
    // A module or a device that fails here is reported; the window still comes up complete.
    Handle([this] { LoadModuleAndAutoStart(); });
    gbSetup->btnApply->setEnabled(false);
    if (DevicesChanged)
        btnPrefClick();
}

void TfrmQEX::LoadModuleAndAutoStart()
{
    Chain.LoadModule(this);
    if (!dspPlugin.IsLoaded())
        return;
    if (AutoStart && !DevicesChanged)
        btnPlayClick();
}

void TfrmQEX::HidePanel()
{
    if (gbSetup->isVisible())
        gbSetup->hide();
}

void TfrmQEX::btnPlayClick()
{
    HidePanel();
    if (wi.Started())
        return;
    if (Chain.DevicesValid()) {
        wi.Open();
        dspPlugin.InitModule();
        wi.Start();
        uilSecurityManager1.Audit("Start");
    } else {
        btnPrefClick();
    }
}

void TfrmQEX::btnStopClick()
{
    HidePanel();
    if (!wi.Started())
        return;
    wi.Stop();
    uilSecurityManager1.Audit("Stop");
}

void TfrmQEX::btnViewClick()
{
    HidePanel();
    if (!dspPlugin.Started())
        return;
    uilSecurityManager1.Audit("Parameters");
    dspPlugin.ConfigModule();
}

void TfrmQEX::btnBypassClick()
{
    HidePanel();
    dspPlugin.SetEnabled(!dspPlugin.GetEnabled());
    setScheme(btnBypass, !dspPlugin.GetEnabled());
    uilSecurityManager1.Audit(dspPlugin.GetEnabled() ? "Bypass off" : "Bypass on");
}

void TfrmQEX::SetDeviceControlsEnabled(bool enabled)
{
    for (QWidget* w :
         std::initializer_list<QWidget*>{gbSetup->cbInput, gbSetup->cbOutput, gbSetup->sliderNumBuf,
                                         gbSetup->sliderDimBuf, gbSetup->sliderNumBufOut, gbSetup->sliderDimBufOut})
        w->setEnabled(enabled);
}

void TfrmQEX::wiStart()
{
    setScheme(btnPlay, true);
    SetDeviceControlsEnabled(false);
    lblChain->Started();
}

void TfrmQEX::wiStop()
{
    setScheme(btnPlay, false);
    SetDeviceControlsEnabled(true);
    lblChain->Stopped();
}

bool TfrmQEX::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Image1 && event->type() == QEvent::MouseButtonRelease)
        Handle([this] { Image1Click(); });
    return QWidget::eventFilter(watched, event);
}

void TfrmQEX::Image1Click()
{
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(kMakerAddress)));
}

void TfrmQEX::PngButton1Click()
{
    TfrmInfo info(this);
    info.exec();
}

void TfrmQEX::Changepassword1Click()
{
    uilChangePasswordDlg1.Execute();
}

void TfrmQEX::Usermanagement1Click()
{
    if (uilSecurityDlg1.Execute())
        dataMod_.FillLoginList(*gbSetup->cmbLogin);
}

void TfrmQEX::ChangeLogin1Click()
{
    uilLoginDlg1.PresetUserName.clear();
    uilLoginDlg1.Execute();
}

void TfrmQEX::uilSecurityManager1SuccessfulLogin()
{
    lblUser->setText(QStringLiteral("Logged as %1").arg(QString::fromStdString(uilSecurityManager1.CurrentUser())));
}

void TfrmQEX::btnCloseClick()
{
    close();
}

void TfrmQEX::BringToFront()
{
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
}

void TfrmQEX::CloseOnSystemRequest()
{
    closeWithoutQuestion_ = true;
    if (QWidget* modal = QApplication::activeModalWidget())
        modal->close();
    // Closed once the dialog that may be open has returned.
    QTimer::singleShot(0, this, [this] { close(); });
}

void TfrmQEX::ShutDown()
{
    Handle([this] { btnStopClick(); });
    if (!closed_) {
        closed_ = true;
        Handle([this] { FormClose(); });
    }
}

void TfrmQEX::closeEvent(QCloseEvent* event)
{
    if (closeWithoutQuestion_) {
        ShutDown();
        event->accept();
        return;
    }
    bool mayClose = false; // a failure while asking keeps the window open
    Handle([&] { mayClose = FormCloseQuery(); });
    if (!mayClose || closeWithoutQuestion_) {
        // A system request that arrived during the question has closed the window already.
        event->ignore();
        return;
    }
    closed_ = true;
    Handle([this] { FormClose(); });
    event->accept();
}

bool TfrmQEX::FormCloseQuery()
{
    if (!wi.Started())
        return true;
    if (ActiveTaskDialog)
        return false;
    ActiveTaskDialog = true;
    const int answer = askTaskDialog({QStringLiteral("Lumavox QEX"), QStringLiteral("Stop and exit Lumavox QEX?"),
                                      QStringLiteral("If you exit the audio processor will be stopped.")},
                                     this);
    ActiveTaskDialog = false;
    if (answer != kTaskDialogYes)
        return false;
    btnStopClick();
    return true;
}

// A close always completes: a settings file that cannot be written is reported (on standard
// error always, in a box only to an operator who is there to read it, not on a logout or
// SIGTERM), and the database is still closed and given its resting name.
void TfrmQEX::FormClose()
{
    dspPlugin.UnloadModules();
    wi.Close();
    std::string failedSave;
    try {
        SaveSettings();
    } catch (const std::exception& error) {
        failedSave = error.what();
    }
    uilSecurityManager1.Audit("Exit");
    dataMod_.CloseDatabase();
    FormSize1.SetIniFile(QString::fromStdString(SettingsFile()));
    if (failedSave.empty())
        return;
    if (closeWithoutQuestion_)
        qex::platform::logOperatorMessage(failedSave);
    else
        showErrorMessage(failedSave, this);
}

std::string TfrmQEX::SettingsFile() const
{
    return AppSettingsFile().string();
}

void TfrmQEX::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    const QScreen* screen = this->screen();
    if (snapping_ || !screen || isMaximized())
        return;
    // Dragged to within a few pixels of an edge, the window sticks to it.
    const QRect desk = screen->availableGeometry();
    const QRect frame = frameGeometry();
    QPoint target = frame.topLeft();
    if (std::abs(frame.left() - desk.left()) <= kSnapDistance)
        target.setX(desk.left());
    else if (std::abs(desk.right() - frame.right()) <= kSnapDistance)
        target.setX(desk.right() - frame.width() + 1);
    if (std::abs(frame.top() - desk.top()) <= kSnapDistance)
        target.setY(desk.top());
    else if (std::abs(desk.bottom() - frame.bottom()) <= kSnapDistance)
        target.setY(desk.bottom() - frame.height() + 1);
    if (target != frame.topLeft()) {
        snapping_ = true;
        move(target);
        snapping_ = false;
    }
}
