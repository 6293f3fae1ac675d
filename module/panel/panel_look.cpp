#include "panel_look.h"

#include "panel_controls.h"

#include <QButtonGroup>
#include <QFont>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>

namespace qex::panel {

namespace {

void Name(QWidget* widget, int id)
{
    widget->setObjectName(QString::fromStdString(ControlName(id)));
}

QPushButton* MakeSwitchButton(QWidget* parent, int id, const QString& caption, const char* kind)
{
    QPushButton* button = MakeButton(parent, id, caption);
    button->setCheckable(true);
    button->setProperty("kind", kind);
    return button;
}

} // namespace

QString PanelStyleSheet()
{
    return QStringLiteral(
        "QDialog { background: #16181d; }"
        "QWidget { color: #cfd5df; font-family: 'DejaVu Sans'; font-size: 11px; }"
        "QGroupBox { border: 1px solid #3a3f4a; border-radius: 5px; margin-top: 9px; padding: 10px 4px 4px 4px;"
        "  background: #1d2027; }"
        "QGroupBox::title { subcontrol-origin: margin; left: 10px; padding: 0 4px; color: #e8b04a;"
        "  font-weight: bold; font-size: 12px; }"
        "QLabel[role=\"caption\"] { color: #9aa3b2; font-size: 10px; }"
        "QLabel[role=\"readout\"] { color: #7dfc9c; background: #0b0c0f; border: 1px solid #2c313b;"
        "  border-radius: 3px; font-family: 'DejaVu Sans Mono'; font-weight: bold; font-size: 12px;"
        "  padding: 1px 2px; }"
        "QLabel[role=\"indicator\"] { color: #ff5a4f; font-family: 'DejaVu Sans Mono'; font-weight: bold;"
        "  font-size: 12px; }"
        "QLabel[role=\"title\"] { color: #e8b04a; font-weight: bold; font-size: 13px; }"
        "QLabel[role=\"name\"] { color: #7dfc9c; background: #0b0c0f; border: 1px solid #2c313b;"
        "  border-radius: 3px; font-family: 'DejaVu Sans Mono'; font-weight: bold; font-size: 15px;"
        "  padding: 2px 6px; }"
        "QLineEdit { color: #f2f4f8; background: #0b0c0f; border: 1px solid #4a505c; border-radius: 3px;"
        "  font-family: 'DejaVu Sans Mono'; font-size: 14px; padding: 2px 4px; }"
        "QPushButton { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #3a3f4a, stop:1 #2a2e36);"
        "  border: 1px solid #4a505c; border-radius: 4px; padding: 3px 7px; color: #dfe4ec; font-weight: bold;"
        "  font-size: 10px; }"
        "QPushButton:pressed { background: #22252c; }"
        "QPushButton:checked[kind=\"toggle\"] { background: qlineargradient(x1:0, y1:0, x2:0, y2:1,"
        "  stop:0 #f3c262, stop:1 #cf8f1f); color: #15171b; border-color: #f7d68f; }"
        "QPushButton:checked[kind=\"radio\"] { background: qlineargradient(x1:0, y1:0, x2:0, y2:1,"
        "  stop:0 #63c3f2, stop:1 #2c86bf); color: #0c1116; border-color: #a3dcf7; }"
        "QSlider::groove:vertical { background: #0b0c0f; width: 4px; border-radius: 2px; }"
        "QSlider::groove:horizontal { background: #0b0c0f; height: 4px; border-radius: 2px; }"
        "QSlider::handle:vertical { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #eef0f3,"
        "  stop:0.5 #9aa1ab, stop:1 #d7dbe1); border: 1px solid #5b616c; height: 10px; margin: 0 -9px;"
        "  border-radius: 2px; }"
        "QSlider::handle:horizontal { background: qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 #eef0f3,"
        "  stop:0.5 #9aa1ab, stop:1 #d7dbe1); border: 1px solid #5b616c; width: 10px; margin: -9px 0;"
        "  border-radius: 2px; }");
}

QPixmap PanelLogo(int height)
{
    const int width = height * 3;
    QPixmap pixmap(width, height);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient plate(0, 0, 0, height);
    plate.setColorAt(0, QColor(72, 78, 92));
    plate.setColorAt(1, QColor(28, 30, 36));
    p.setBrush(plate);
    p.setPen(QColor(110, 116, 128));
    p.drawRoundedRect(QRectF(0.5, 0.5, width - 1, height - 1), 5, 5);

    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(height * 11 / 20);
    p.setFont(font);
    p.setPen(QColor(232, 176, 74));
    p.drawText(QRect(0, 0, width, height * 3 / 4), Qt::AlignCenter, QStringLiteral("QEX"));
    font.setPixelSize(qMax(6, height / 5));
    p.setFont(font);
    p.setPen(QColor(170, 176, 188));
    p.drawText(QRect(0, height * 3 / 5, width, height * 2 / 5), Qt::AlignCenter, QStringLiteral("LUMAVOX"));
    return pixmap;
}

QPushButton* MakeToggle(QWidget* parent, int id, const QString& caption)
{
    return MakeSwitchButton(parent, id, caption, "toggle");
}

QPushButton* MakeRadio(QWidget* parent, int id, const QString& caption, QButtonGroup* group)
{
    QPushButton* button = MakeSwitchButton(parent, id, caption, "radio");
    group->addButton(button);
    return button;
}

QPushButton* MakeButton(QWidget* parent, int id, const QString& caption)
{
    auto* button = new QPushButton(caption, parent);
    if (id)
        Name(button, id);
    // Return in the name box must not press a button.
    button->setAutoDefault(false);
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

QLabel* MakeReadout(QWidget* parent, int id)
{
    auto* label = new QLabel(parent);
    if (id)
        Name(label, id);
    label->setProperty("role", "readout");
    label->setAlignment(Qt::AlignCenter);
    return label;
}

QLabel* MakeCaption(QWidget* parent, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setProperty("role", "caption");
    label->setAlignment(Qt::AlignCenter);
    return label;
}

} // namespace qex::panel
