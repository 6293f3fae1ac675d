#pragma once
// The program's message boxes and task dialogs, with the system's own titles and buttons.

#include <QMessageBox>
#include <QString>
#include <string>

class QWidget;

// An error as the application reports an unhandled failure: the program's title, a stop icon,
// one OK button.
void showErrorMessage(const std::string& text, QWidget* parent = nullptr);

// A warning with one OK button and the program's title.
void showWarningMessage(const QString& text, QWidget* parent = nullptr);

// Results of the custom buttons of a confirmation.
constexpr int kTaskDialogYes = 100;
constexpr int kTaskDialogNo = 101;

struct TaskDialogText {
    QString title;
    QString instruction;
    QString content;
};

// A confirmation with custom "Yes" (100) and "No" (101) buttons; closing it answers "No".
int askTaskDialog(const TaskDialogText& text, QWidget* parent);

// A notice with an OK button.
void showTaskDialogNotice(const TaskDialogText& text, QMessageBox::Icon icon, QWidget* parent);
