#pragma once
// Keeps the main window's placement in the settings file: read when the window has been built,
// written when it is destroyed. Only the position survives in effect, since the window sizes
// itself to its content.

#include <QRect>
#include <QString>

class QWidget;

class TFormSize {
public:
    // Reads from qex.ini in the process's working folder until told otherwise.
    TFormSize();

    void SetIniFile(const QString& file) { iniFile_ = file; }
    const QString& IniFile() const { return iniFile_; }

    // Places the window from the file, kept on the desktop.
    void Restore(QWidget& window, const QRect& desktop);
    // Writes the window's normal placement and whether it is maximised.
    void Save(const QWidget& window);

    static constexpr const char* kSection = "QEX";

private:
    QString iniFile_;
};

// The placement read from the file for a window designed at `design`, kept on the desktop.
struct FormPlacement {
    QRect bounds;
    bool maximized = false;
};
FormPlacement readFormPlacement(const QString& iniFile, const QRect& design, const QRect& desktop);
