#include "loudness_view.h"

#include <QFontDatabase>

TMMLoudnessView::TMMLoudnessView(TMMLoudnessMeter& meter, QWidget* parent) : QLabel(parent), meter_(meter)
{
    setToolTip(QStringLiteral("Short-term loudness (last 3 s) and integrated loudness since Start, BS.1770"));
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPixelSize(11);
    setFont(fixed);
    // Black like the level meters beside it, with their aqua.
    setStyleSheet(QStringLiteral("QLabel { background-color: black; color: #00ffff; padding: 1px 4px; }"));
    setTextFormat(Qt::PlainText);
    setText(loudnessReadout({}));
    refresh_.setInterval(static_cast<int>(TMMTickService::kTickPeriod.count()));
    connect(&refresh_, &QTimer::timeout, this, &TMMLoudnessView::PickUpReading);
}

void TMMLoudnessView::PickUpReading()
{
    const std::uint64_t number = meter_.ReadingNumber();
    if (number == shownNumber_)
        return;
    shownNumber_ = number;
    const QString text = loudnessReadout(meter_.Reading());
    if (text != this->text())
        setText(text);
}

void TMMLoudnessView::showEvent(QShowEvent* event)
{
    QLabel::showEvent(event);
    PickUpReading();
    refresh_.start();
}

void TMMLoudnessView::hideEvent(QHideEvent* event)
{
    refresh_.stop();
    QLabel::hideEvent(event);
}

QString loudnessReadout(const TMMLoudnessReading& reading)
{
    const auto line = [](const char* name, std::optional<double> value) {
        const QString figure = QString::fromStdString(loudnessText(value));
        return QStringLiteral("%1 %2 LUFS").arg(QLatin1String(name)).arg(figure, 5);
    };
    return line("S", reading.ShortTerm) + QLatin1Char('\n') + line("I", reading.Integrated);
}
