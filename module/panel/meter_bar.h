#pragma once
// A meter of the panel: a segmented bar whose value is always held within its range before it
// is shown (a bar refuses values outside it, and an AGC gain below 1 reads below 0 dB). Its
// colours belong to the whole length, so a level meter turns amber and red only near the top.

#include <QProgressBar>

#include <initializer_list>
#include <vector>

namespace qex::panel {

class MeterBar : public QProgressBar {
public:
    enum class Kind { Level, Gain, Band, Clip, Image };

    MeterBar(QWidget* parent, const QString& objectName, Qt::Orientation orientation, int maximum, Kind kind);

    void Show(int value);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Kind kind_;
};

// Text marks beside a vertical meter, each at its share of the meter's height from the bottom.
class ScaleMarks : public QWidget {
public:
    struct Mark {
        double share;
        const char* text;
    };
    ScaleMarks(QWidget* parent, std::initializer_list<Mark> marks);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<Mark> marks_;
};

} // namespace qex::panel
