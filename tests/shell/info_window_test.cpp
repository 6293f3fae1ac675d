// The information window: the running release and the scrolling credits.

#include "frm_info.h"
#include "scroll_text.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <gtest/gtest.h>

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
