// The meter's widgets: the view that shows frames drawn on another thread, and the dB scale.

#include "level_scale.h"
#include "level_signals.h"
#include "level_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>

#include <atomic>
#include <thread>

namespace {

void ensureApplication()
{
    static int argc = 1;
    static char name[] = "level_widgets_test";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
}

class Widgets : public ::testing::Test {
protected:
    Widgets() { ensureApplication(); }
};

QColor pixelOf(QWidget& widget, int x, int y)
{
    return widget.grab().toImage().pixelColor(x, y);
}

QColor qcolor(TMMColor color)
{
    return QColor::fromRgb(color);
}

// The program's view: a 147 x 9 left-channel meter.
struct ProgramView {
    ProgramView()
    {
        applyProgramSettings(view.Level(), TMMChannel::chLeft);
        view.resize(147, 9);
    }
    TMMTickService ticks{TMMTickSource::Manual};
    TMMLevelView view{nullptr, ticks};
};

} // namespace

TEST_F(Widgets, TheViewShowsWhatTheMeterDrew)
{
    ProgramView program;
    TMMLevelView& view = program.view;
    view.show();
    const StereoFrames level = constantFrames(50, 10000, 0); // 26 spots
    view.Level().Measure(level.data(), byteSize(level));
    view.PickUpFrame();
    EXPECT_EQ(pixelOf(view, spotX(1), 4), qcolor(kAqua));
    EXPECT_EQ(pixelOf(view, spotX(26) + 2, 8), qcolor(kAqua));
    EXPECT_EQ(pixelOf(view, spotX(27), 0), qcolor(kBlack));

    const StereoFrames loud = constantFrames(50, 32767, 0);
    view.Level().Measure(loud.data(), byteSize(loud));
    view.PickUpFrame();
    EXPECT_EQ(pixelOf(view, spotX(37), 4), qcolor(kRed));
}

TEST_F(Widgets, AHiddenViewLeavesItsMeterIdle)
{
    ProgramView program;
    TMMLevelView& view = program.view;
    const StereoFrames loud = constantFrames(50, 32767, 0);
    view.Level().Measure(loud.data(), byteSize(loud));
    EXPECT_EQ(view.Level().Spots(), 0) << "never shown yet";

    view.show();
    view.Level().Measure(loud.data(), byteSize(loud));
    EXPECT_EQ(view.Level().Spots(), 37);
    view.hide();
    view.Level().Clear();
    view.Level().Measure(loud.data(), byteSize(loud));
    EXPECT_EQ(view.Level().Spots(), 0);
}

TEST_F(Widgets, FramesDrawnOnAnotherThreadArriveWhole)
{
    ProgramView program;
    TMMLevelView& view = program.view;
    TMMLevel& level = view.Level();
    level.SetNumPeaks(0); // every frame is then either all dark or all lit
    view.show();

    std::atomic<bool> done{false};
    std::atomic<int> measured{0};
    std::thread audio([&] {
        const StereoFrames loud = constantFrames(50, 32767, 0);
        const StereoFrames quiet = silentFrames(50);
        for (int i = 0; !done.load(); ++i) {
            const StereoFrames& block = i % 2 ? loud : quiet;
            level.Measure(block.data(), byteSize(block));
            measured.fetch_add(1);
        }
    });

    int lit = 0, dark = 0;
    for (int i = 0, seen = 0; i < 2000; ++i) {
        // Each look overlaps fresh drawing on the audio thread.
        while (measured.load() <= seen)
            std::this_thread::yield();
        seen = measured.load();
        if (i % 200 == 100) {
            // Resizing replaces every image while the audio thread keeps drawing. The first
            // frame after it shows the old spot count in the new layout, so look again only
            // once two measurements have certainly drawn anew.
            view.resize(view.width() == 147 ? 99 : 147, 9);
            seen = measured.load() + 2;
            continue;
        }
        view.PickUpFrame();
        const TMMImageView frame = level.Frame();
        ASSERT_NE(frame.pixels, nullptr);
        const int spots = (frame.width + 1) / 4;
        int litSpots = 0;
        for (int s = 1; s <= spots; ++s) {
            const TMMColor pixel = frame.pixels[4 * frame.width + spotX(s)];
            ASSERT_TRUE(pixel == kBlack || pixel == kAqua || pixel == kRed) << "spot " << s << " of a blank frame";
            litSpots += pixel != kBlack;
        }
        ASSERT_TRUE(litSpots == 0 || litSpots == spots) << litSpots << " of " << spots << " spots: a torn frame";
        (litSpots ? lit : dark)++;
        if (i % 100 == 0)
            view.grab(); // the blit itself reads the frame too
    }
    done = true;
    audio.join();
    EXPECT_GT(lit, 0);
    EXPECT_GT(dark, 0);
}

TEST_F(Widgets, TheScaleLabelsRunFromZeroAtFullScaleDownToTheSensitivity)
{
    TMMLevelScale scale;
    scale.resize(147, 24);
    const QVector<TMMScaleLabel> labels = scale.Labels();
    ASSERT_EQ(labels.size(), 8);
    // Sorted left to right: the floor on the left, full scale on the right.
    const QStringList expected = {"-35", "-30", "-25", "-20", "-15", "-10", "-5", "0"};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(labels[i].text, expected[i]);
        if (i > 0) {
            EXPECT_GT(labels[i].rect.left(), labels[i - 1].rect.right());
        }
    }
    EXPECT_EQ(labels[7].rect.right(), 146) << "the 0 label is held inside the control";
    EXPECT_EQ(labels[0].rect.left(), 0);
    // The top two labels lie beyond Point2 (85 %) and take the third zone's colour.
    EXPECT_EQ(labels[7].color, QColor(Qt::red));
    EXPECT_EQ(labels[6].color, QColor(Qt::red));
    EXPECT_EQ(labels[5].color, QColor(Qt::white));

    scale.SetDirection(TMMDirection::dirReversed);
    EXPECT_LT(scale.Labels().front().rect.left(), 10);
    EXPECT_EQ(scale.Labels().front().text, "0");
}

TEST_F(Widgets, LabelsThatDoNotFitAreSkippedInAFixedStep)
{
    TMMLevelScale scale;
    scale.resize(60, 24);
    const QVector<TMMScaleLabel> labels = scale.Labels();
    ASSERT_GE(labels.size(), 2);
    ASSERT_LT(labels.size(), 8);
    // Every step-th label from full scale down, evenly spaced.
    const int step = -labels[labels.size() - 2].text.toInt() / 5;
    for (int k = 0; k < labels.size(); ++k)
        EXPECT_EQ(labels[labels.size() - 1 - k].text.toInt(), -5 * step * k);
    for (int k = 1; k < labels.size(); ++k)
        EXPECT_GT(labels[k].rect.left(), labels[k - 1].rect.right());
}

TEST_F(Widgets, LinearScaleLabelsAreTheDbOfTheirLevel)
{
    TMMLevelScale scale;
    scale.resize(300, 24);
    scale.SetLogAmp(false);
    const QVector<TMMScaleLabel> labels = scale.Labels();
    ASSERT_EQ(labels.size(), 8);
    EXPECT_EQ(labels.back().text, "0");
    EXPECT_EQ(labels.front().text, "-35");
    EXPECT_EQ(labels[6].text, "-1"); // 6/7 of the way from the floor: 28169 of 32767
}

TEST_F(Widgets, TickMarksStandOnTheChosenSidesInZoneColours)
{
    TMMLevelScale scale;
    scale.resize(147, 24);
    scale.SetScale({11, 5, 7, TMMScaleOrigin::soInner, false, true});
    const QImage image = scale.grab().toImage();
    const QColor background = scale.palette().color(QPalette::Window);
    ASSERT_NE(background, QColor(Qt::white));
    // Long marks at both ends, white at the floor and red at full scale.
    EXPECT_EQ(image.pixelColor(0, 0), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(146, 6), QColor(Qt::red));
    EXPECT_EQ(image.pixelColor(146, 23), QColor(Qt::red));
    // A short mark stands on the inner line: present at 6, absent at the edge.
    EXPECT_EQ(image.pixelColor(15, 6), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(15, 0), background);
    EXPECT_EQ(image.pixelColor(15, 17), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(15, 23), background);

    scale.SetScalePos(TMMScalePos::spLeftTop);
    const QImage topOnly = scale.grab().toImage();
    EXPECT_EQ(topOnly.pixelColor(0, 0), QColor(Qt::white));
    EXPECT_EQ(topOnly.pixelColor(0, 23), background);
}
