#include "command_line.h"
#include "device_listing.h"
#include "headless_processor.h"
#include "startup.h"

#include <QApplication>

#include <iostream>

int main(int argc, char** argv)
{
    const TCommandLine command = parseCommandLine(argc, argv);
    switch (command.mode) {
    case TRunMode::Refused: std::cerr << refusalText(command.error); return 2;
    case TRunMode::Help: std::cout << helpText(); return 0;
    case TRunMode::Version: std::cout << versionText(); return 0;
    case TRunMode::ListDevices: return listDevices(std::cout);
    case TRunMode::Headless: {
        QCoreApplication application(argc, argv);
        initialiseApplication();
        return runHeadless();
    }
    case TRunMode::Window: break;
    }
    QApplication application(argc, argv);
    // What the toolkit has not taken is not for the program either.
    if (const QStringList rest = QCoreApplication::arguments().mid(1); !rest.isEmpty()) {
        std::cerr << refusalText("unexpected argument '" + rest.first().toStdString() + "'");
        return 2;
    }
    initialiseApplication();
    QGuiApplication::setDesktopFileName(QStringLiteral("com.lumavox.qex"));
    return runQex(application);
}
