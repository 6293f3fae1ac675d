#pragma once
// The dB scale drawn beside or between level meters: tick marks in the meters' zone colours on
// the chosen sides and evenly spaced level labels, skipped in a fixed step when they would not
// fit. It lines up with meters of the same length, kind and direction.

#include "level.h"

#include <QColor>
#include <QRect>
#include <QString>
#include <QVector>
#include <QWidget>

class QPainter;

enum class TMMScalePos { spLeftTop, spRightBottom, spBoth };
// Where the tick marks stand: on the line facing the labels, or on the control's edge.
enum class TMMScaleOrigin { soInner, soOuter };

// The tick marks: TickCount marks from end to end, every EnlargeEvery-th one Size long and the
// others half that.
struct TMMScaleMarks {
    int TickCount = 11;
    int EnlargeEvery = 5;
    int Size = 7;
    TMMScaleOrigin Origin = TMMScaleOrigin::soInner;
    bool Connect = false; // a line along the marks
    bool Visible = true;
};

struct TMMScaleLabel {
    QString text;
    QRect rect;
    QColor color;
};

class TMMLevelScale : public QWidget {
    Q_OBJECT
public:
    explicit TMMLevelScale(QWidget* parent = nullptr);

    void SetSensitivy(int value); // -90..-9 dB, as the meters
    int Sensitivy() const { return sensitivy_; }
    void SetLogAmp(bool value);
    bool LogAmp() const { return logAmp_; }
    void SetScaleTicks(int value); // number of labels, at least 2
    int ScaleTicks() const { return scaleTicks_; }
    void SetPoint1(int value); // 1..100 per cent, as the meters
    void SetPoint2(int value);
    int Point1() const { return point1_; }
    int Point2() const { return point2_; }
    void SetScale1Color(const QColor& value);
    void SetScale2Color(const QColor& value);
    void SetScale3Color(const QColor& value);
    QColor Scale1Color() const { return colors_[0]; }
    QColor Scale2Color() const { return colors_[1]; }
    QColor Scale3Color() const { return colors_[2]; }
    void SetKind(TMMLevelKind value);
    TMMLevelKind Kind() const { return kind_; }
    void SetDirection(TMMDirection value);
    TMMDirection Direction() const { return direction_; }
    void SetScale(const TMMScaleMarks& value);
    const TMMScaleMarks& Scale() const { return marks_; }
    void SetScalePos(TMMScalePos value);
    TMMScalePos ScalePos() const { return scalePos_; }

    // The labels as they are drawn at the present size and font.
    QVector<TMMScaleLabel> Labels() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int BarLength() const;
    int Thickness() const;
    // Level of a position along the bar: 0 at the sensitivity floor, 1 at full scale.
    double FractionAt(int along) const;
    // Positions along the bar where a level lies (two on a symmetric bar).
    QVector<int> PositionsOf(double fraction) const;
    QColor ZoneColor(double fraction) const;
    QString LabelText(int index) const;
    // A rectangle given along the bar from its start and across it from the near side.
    QRect MapRect(int along, int alongLength, int across, int acrossLength) const;
    void PaintMarks(QPainter& painter, bool farSide) const;

    int sensitivy_ = -35;
    bool logAmp_ = true;
    int scaleTicks_ = 8;
    int point1_ = 50;
    int point2_ = 85;
    QColor colors_[3] = {Qt::white, Qt::white, Qt::red};
    TMMLevelKind kind_ = TMMLevelKind::lkHorizontal;
    TMMDirection direction_ = TMMDirection::dirNormal;
    TMMScaleMarks marks_;
    TMMScalePos scalePos_ = TMMScalePos::spBoth;
};
