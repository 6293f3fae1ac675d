#include "startup.h"

#include "data_mod.h"
#include "engine_notice.h"
#include "frm_qex.h"
#include "message_boxes.h"
#include "module_file.h"
#include "platform/main_dispatcher_qt.h"
#include "platform/operator_log.h"
#include "platform/termination_signals_qt.h"
#include "realtime_fallback.h"

#include <QApplication>
#include <QTimer>

void initialiseApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral("Lumavox QEX"));
}

void installEngineNotices()
{
    setEngineNoticeHandler([](TMMNoticeKind kind, const std::string& title, const std::string& text) {
        if (kind == TMMNoticeKind::Error) {
            showErrorMessage(text, QApplication::activeWindow());
            return;
        }
        showInformationMessage(QString::fromStdString(title), QString::fromStdString(text),
                               QApplication::activeWindow());
    });
}

int runQex(QApplication&)
{
    qex::platform::QtMainThreadDispatcher dispatcher;
    installEngineNotices();
    TRealtimeFallback realtimeFallback;

    // A stop request that arrives while the program comes up dismisses whatever the start-up
    // asks and ends the program as soon as its window exists.
    TfrmQEX* mainWindow = nullptr;
    bool stopRequested = false;
    QTimer dismissDialogs;
    QObject::connect(&dismissDialogs, &QTimer::timeout, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    qex::platform::TerminationSignals terminationSignals([&] {
        if (mainWindow) {
            mainWindow->CloseOnSystemRequest();
            return;
        }
        stopRequested = true;
        dismissDialogs.start(20);
    });

    try {
        TDataMod DataMod([] {
            qex::platform::logOperatorMessage(
                "not started: Lumavox QEX is running already, and this copy hands over to it");
            return 0;
        });
        DataMod.AppInstances1.check();
        writeModuleFileIfMissing();

        TfrmQEX frmQEX(DataMod);
        dismissDialogs.stop();
        if (frmQEX.LoginRefused())
            return 0; // the window is never shown and nothing is saved
        if (stopRequested) {
            frmQEX.ShutDown();
            return 0;
        }
        DataMod.AppInstances1.OnActivate = [&frmQEX](const QString&) { frmQEX.BringToFront(); };
        mainWindow = &frmQEX;

        frmQEX.show();
        const int code = QApplication::exec();
        mainWindow = nullptr;
        return code;
    } catch (const std::exception& error) {
        showErrorMessage(error.what());
        return 1;
    }
}
