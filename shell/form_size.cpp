#include "form_size.h"

#include "platform/profile.h"

#include <QWidget>

using qex::platform::IniFile;

TFormSize::TFormSize() : iniFile_(QString::fromStdString(qex::platform::profileFileIn(".", "qex.ini").string())) {}

FormPlacement readFormPlacement(const QString& iniFile, const QRect& design, const QRect& desktop)
{
    const IniFile file(iniFile.toStdString());
    const int left = static_cast<int>(file.readInteger(TFormSize::kSection, "Left", design.left()));
    const int top = static_cast<int>(file.readInteger(TFormSize::kSection, "Top", design.top()));
    int right = static_cast<int>(file.readInteger(TFormSize::kSection, "Right", design.left() + design.width()));
    int bottom = static_cast<int>(file.readInteger(TFormSize::kSection, "Bottom", design.top() + design.height()));
    FormPlacement placement;
    placement.maximized = file.readBool(TFormSize::kSection, "Maximized", false);

    int x = left;
    int y = top;
    const int desktopWidth = desktop.width();
    const int desktopHeight = desktop.height();
    if (right > desktopWidth) {
        x -= right - desktopWidth;
        right = desktopWidth;
    }
    if (bottom > desktopHeight) {
        y -= bottom - desktopHeight;
        bottom = desktopHeight;
    }
    placement.bounds = placement.maximized ? desktop : QRect(QPoint(x, y), QPoint(right - 1, bottom - 1));
    return placement;
}

void TFormSize::Restore(QWidget& window, const QRect& desktop)
{
    const QRect design(window.pos(), window.size());
    const FormPlacement placement = readFormPlacement(iniFile_, design, desktop);
    window.move(placement.bounds.topLeft());
    window.resize(placement.bounds.size());
    if (placement.maximized)
        window.setWindowState(window.windowState() | Qt::WindowMaximized);
}

void TFormSize::Save(const QWidget& window)
{
    const QRect normal = window.isMaximized() ? window.normalGeometry() : window.frameGeometry();
    qex::platform::IniFile file(iniFile_.toStdString());
    file.writeInteger(kSection, "Left", normal.left());
    file.writeInteger(kSection, "Top", normal.top());
    file.writeInteger(kSection, "Right", normal.left() + normal.width());
    file.writeInteger(kSection, "Bottom", normal.top() + normal.height());
    file.writeBool(kSection, "Maximized", window.isMaximized());
}
