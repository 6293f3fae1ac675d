#include "startup.h"

#include "data_mod.h"
#include "frm_qex.h"
#include "message_boxes.h"
#include "module_file.h"
#include "platform/main_dispatcher_qt.h"
#include "platform/termination_signals_qt.h"

#include <QApplication>

void initialiseApplication(QApplication&)
{
    QApplication::setApplicationName(QStringLiteral("Lumavox QEX"));
    QApplication::setDesktopFileName(QStringLiteral("com.lumavox.qex"));
}

int runQex(QApplication&)
{
    qex::platform::QtMainThreadDispatcher dispatcher;

    // A stop request that arrives while the program comes up is served once the window runs.
    TfrmQEX* mainWindow = nullptr;
    qex::platform::TerminationSignals terminationSignals([&mainWindow] {
        if (mainWindow)
            mainWindow->CloseOnSystemRequest();
    });

    try {
        TDataMod DataMod;
        DataMod.AppInstances1.check();
        writeModuleFileIfMissing();

        TfrmQEX frmQEX(DataMod);
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
