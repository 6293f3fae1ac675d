#include "window_harness.h"

#include "module_file.h"
#include "startup.h"
#include "widgets/level_view.h"

#include "platform/wave/wave_service.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPushButton>

#include <gtest/gtest.h>

int& testArgc()
{
    static int argc = 1;
    return argc;
}

char** testArgv()
{
    static char name[] = "qex-window-test";
    static char* argv[] = {name, nullptr};
    return argv;
}

WindowHarness::WindowHarness(QStringList answers) : answerer_(std::move(answers))
{
    installEngineNotices();
    writeModuleFileIfMissing();
    window_ = std::make_unique<TfrmQEX>(dataMod_);
    window_->show();
    // The first showing loads the module once the window is up.
    pump(std::chrono::milliseconds(50));
}

WindowHarness::~WindowHarness()
{
    if (window_ && window_->isVisible()) {
        window_->CloseOnSystemRequest();
        pump(std::chrono::milliseconds(50));
    }
}

void WindowHarness::pump(std::chrono::milliseconds duration)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < duration.count())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

bool WindowHarness::pumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeout.count())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

void WindowHarness::useVirtualDevices()
{
    TAudioSettingsPanel& panel = *window_->gbSetup;
    const int input = panel.cbInput->findText(qex::platform::wave::kTestSignalInputName);
    const int output = panel.cbOutput->findText(qex::platform::wave::kSilentOutputName);
    ASSERT_GT(input, 0);
    ASSERT_GT(output, 0);
    panel.cbInput->setCurrentIndex(input);
    emit panel.cbInput->activated(input);
    panel.cbOutput->setCurrentIndex(output);
    emit panel.cbOutput->activated(output);
    click(panel.btnApply);
}

bool WindowHarness::startOnVirtualDevices()
{
    useVirtualDevices();
    click(window_->btnPlay);
    TMMLevel& left = window_->MMLevel1->Level();
    TMMLevel& right = window_->MMLevel2->Level();
    return window_->wi.Started() &&
        pumpUntil([&] { return left.Spots() > 0 && right.Spots() > 0; }, std::chrono::seconds(15));
}

void WindowHarness::click(QAbstractButton* button)
{
    EXPECT_TRUE(button->isEnabled()) << button->objectName().toStdString();
    button->click();
    pump(std::chrono::milliseconds(10));
}
