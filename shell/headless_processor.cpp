#include "headless_processor.h"

#include "audit_hook.h"
#include "chain_settings.h"
#include "data_mod.h"
#include "engine_notice.h"
#include "module_file.h"
#include "platform/main_dispatcher_qt.h"
#include "platform/operator_log.h"
#include "platform/termination_signals_qt.h"
#include "realtime_fallback.h"
#include "security/table_bindings.h"

#include <QCoreApplication>

using qex::platform::logOperatorMessage;

namespace {

constexpr int kDropoutCheckMs = 1000;

} // namespace

THeadlessProcessor::THeadlessProcessor(TDataMod& dataMod) : dataMod_(dataMod)
{
    bindSecurityTables(security_,
                       {&dataMod_.dsUsers, &dataMod_.dsUserAccess, &dataMod_.dsGroups, &dataMod_.dsGroupAccess,
                        &dataMod_.dsGroupMembers, &dataMod_.dsPermissions});
    security_.Active = false;
    security_.AuditTrail = &dataMod_.AuditTrail;
    setAuditHookTarget(
        [this](const std::string& action, const std::string& detail) { security_.Audit(action, detail); });
    dropoutCheck_.setInterval(kDropoutCheckMs);
    QObject::connect(&dropoutCheck_, &QTimer::timeout, [this] { ReportDropouts(); });
}

THeadlessProcessor::~THeadlessProcessor()
{
    ShutDown();
    setAuditHookTarget(nullptr);
}

bool THeadlessProcessor::Start()
{
    if (!ReadSettings())
        return false;
    if (!chain_.DevicesValid()) {
        logOperatorMessage("not started: the input or output device of the settings file is not present; choose the "
                           "devices in Preferences of the program's window");
        return false;
    }
    chain_.LoadModule(nullptr);
    try {
        chain_.wi.Open();
        chain_.dspPlugin.InitModule();
        chain_.wi.Start();
    } catch (const std::exception& error) {
        logOperatorMessage(error.what());
        logOperatorMessage("not started: the audio devices could not be opened");
        return false;
    }
    security_.Audit("Start");
    logOperatorMessage("started: input \"" + chain_.wi.GetProductName() + "\", output \"" + chain_.wo.GetProductName() +
                       "\"");
    started_ = true;
    chain_.monitor.Begin();
    dropoutCheck_.start();
    return true;
}

// The settings as the window reads them; without a settings file, the first start's devices.
bool THeadlessProcessor::ReadSettings()
{
    const qex::platform::IniFile file(AppSettingsFile());
    if (!file.exists()) {
        chooseFirstStartDevices(chain_);
        firstStart_ = true;
        return true;
    }
    const bool securityEnabled = file.readBool("General", "Enable Security", false);
    const std::string login = file.readString("General", "Default login", "admin");
    const std::string password = file.readString("General", "Default passwd", "");
    const TStoredDevices stored = readChainSettings(file, chain_, qex::platform::kDesignPriorityIndex);
    if (devicesChangedSince(stored, chain_)) {
        logOperatorMessage("not started: the audio devices of the settings file (\"" + stored.inputName + "\", \"" +
                           stored.outputName +
                           "\") differ from the devices present; check them in Preferences of "
                           "the program's window");
        return false;
    }
    return LoginAtStart(securityEnabled, login, password);
}

bool THeadlessProcessor::LoginAtStart(bool securityEnabled, const std::string& login, const std::string& password)
{
    if (!securityEnabled)
        return true;
    security_.Active = true;
    bool loggedIn = false;
    try {
        loggedIn = security_.Login(login, password, TuilPasswordForm::Stored);
    } catch (const std::exception& error) {
        logOperatorMessage(error.what());
    }
    if (!loggedIn)
        logOperatorMessage("not started: security is enabled and the default login \"" + login +
                           "\" failed; nobody can log in without a window");
    return loggedIn;
}

void THeadlessProcessor::ReportDropouts()
{
    const TMMChainDropouts dropouts = chain_.monitor.Dropouts();
    if (dropouts.Total() == reportedDropouts_)
        return;
    reportedDropouts_ = dropouts.Total();
    logOperatorMessage("dropouts since start: " + chainDropoutsLine(dropouts));
}

// The devices a first start chose are written down, so that the next start finds them; a settings
// file the operator has made is left as it is.
void THeadlessProcessor::KeepFirstStartDevices()
{
    if (!firstStart_ || !started_)
        return;
    try {
        qex::platform::IniFile file(AppSettingsFile());
        writeChainSettings(file, chain_, qex::platform::kDesignPriorityIndex);
    } catch (const std::exception& error) {
        logOperatorMessage(error.what());
    }
}

void THeadlessProcessor::ShutDown()
{
    if (shutDown_)
        return;
    shutDown_ = true;
    dropoutCheck_.stop();
    const bool running = chain_.wi.Started();
    try {
        chain_.wi.Stop();
    } catch (const std::exception& error) {
        logOperatorMessage(error.what());
    }
    if (running)
        security_.Audit("Stop");
    chain_.dspPlugin.UnloadModules();
    chain_.wi.Close();
    chain_.wo.Close();
    security_.Audit("Exit");
    KeepFirstStartDevices();
    dataMod_.CloseDatabase();
    if (started_)
        logOperatorMessage("stopped: " + chainDropoutsLine(chain_.monitor.Dropouts()));
}

int runHeadless()
{
    qex::platform::QtMainThreadDispatcher dispatcher;
    // A device that fails ends the run with an error, so that a service manager starts it again
    // once the device is back.
    setEngineNoticeHandler([](TMMNoticeKind kind, const std::string& title, const std::string& text) {
        logOperatorMessage(title.empty() ? text : title + ": " + text);
        if (kind == TMMNoticeKind::Error)
            QCoreApplication::exit(1);
    });
    qex::platform::TerminationSignals terminationSignals([] { QCoreApplication::exit(0); });
    TRealtimeFallback realtimeFallback;

    try {
        TDataMod dataMod([] {
            logOperatorMessage("not started: Lumavox QEX is running already");
            return 1;
        });
        THeadlessProcessor processor(dataMod); // from here on the database rests as qex.sec at every end
        writeModuleFileIfMissing();
        if (!processor.Start())
            return 1;
        return QCoreApplication::exec();
    } catch (const std::exception& error) {
        logOperatorMessage(error.what());
        return 1;
    }
}
