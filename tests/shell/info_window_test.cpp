// The information window: the running release, the scrolling credits and the FM self-test.

#include "frm_info.h"
#include "modal_answerer.h"
#include "scroll_text.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

#include <functional>

namespace {

int argc = 1;
char arg0[] = "info_window_test";
char* argv[] = {arg0, nullptr};

void pump(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

bool pumpUntil(const std::function<bool()>& condition, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition() && timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return condition();
}

} // namespace

TEST(InformationWindow, ShowsTheReleaseOfTheBuildAndScrollsItsCredits)
{
    QApplication app(argc, argv);
    TfrmInfo info;
    EXPECT_EQ(info.windowTitle(), "About QEX");
    EXPECT_FALSE(info.ScrollText1->scrolling());
    info.show();
    pump(20);
    EXPECT_EQ(info.lblVersion->text(), QStringLiteral("Release %1").arg(QStringLiteral(QEX_PROJECT_VERSION ".0")));
    EXPECT_EQ(info.size(), QSize(425, 200));
    EXPECT_FALSE(info.windowFlags() & Qt::WindowMinMaxButtonsHint);

    EXPECT_TRUE(info.ScrollText1->scrolling());
    const int before = info.ScrollText1->offset();
    pump(300);
    EXPECT_GT(info.ScrollText1->offset(), before);
}

TEST(InformationWindow, RunsTheFmSelfTestBesideTheProgramAndShowsItsVerdict)
{
    QApplication app(argc, argv);
    ModalAnswerer operatorStandIn;
    TfrmInfo info;
    info.show();
    info.btnSelfTest->click();
    EXPECT_FALSE(info.btnSelfTest->isEnabled()) << "one test at a time";
    ASSERT_TRUE(pumpUntil([&] { return operatorStandIn.count() == 1; }, 120000));
    const ModalAnswerer::Seen& verdict = operatorStandIn.seen().front();
    EXPECT_EQ(verdict.title, QStringLiteral("FM-protection self-test"));
    EXPECT_EQ(verdict.text, QStringLiteral("FM protection: PASS"));
    EXPECT_TRUE(verdict.informativeText.contains(QStringLiteral("19 kHz +-500 Hz")))
        << verdict.informativeText.toStdString();
    EXPECT_TRUE(info.btnSelfTest->isEnabled());

    // Without the renderer the operator is told why nothing was tested.
    info.SelfTestProgram = QStringLiteral("/nonexistent/qex-render");
    info.btnSelfTest->click();
    ASSERT_TRUE(pumpUntil([&] { return operatorStandIn.count() == 2; }, 10000));
    EXPECT_TRUE(operatorStandIn.seen().back().text.startsWith(
        QStringLiteral("The FM self-test could not be run (/nonexistent/qex-render)")))
        << operatorStandIn.seen().back().text.toStdString();
}
