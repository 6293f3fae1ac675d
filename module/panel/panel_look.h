#pragma once
// The control panel's look: a dark processor front panel with lit switches and LED-like value
// readouts, and the few kinds of button it is made of.

#include <QPixmap>
#include <QString>

class QAbstractButton;
class QButtonGroup;
class QLabel;
class QPushButton;
class QWidget;

namespace qex::panel {

// The style sheet of the whole panel.
QString PanelStyleSheet();

// The "QEX" badge at the left of the top bar.
QPixmap PanelLogo(int height);

// A switch that stays pressed while on.
QPushButton* MakeToggle(QWidget* parent, int id, const QString& caption);
// A push-like radio button of an exclusive group.
QPushButton* MakeRadio(QWidget* parent, int id, const QString& caption, QButtonGroup* group);
// A plain push button.
QPushButton* MakeButton(QWidget* parent, int id, const QString& caption);
// A readout of a value, centred, in the panel's digit font.
QLabel* MakeReadout(QWidget* parent, int id);
// A small caption.
QLabel* MakeCaption(QWidget* parent, const QString& text);

} // namespace qex::panel
