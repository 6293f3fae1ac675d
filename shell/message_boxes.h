#pragma once
// The program's message boxes and task dialogs, with the system's own titles and buttons.
// Every box that tells the operator something is also written as one line to standard error,
// and a program running without windows (headless) writes the line only.

#include <QMessageBox>
#include <QString>
#include <string>

class QWidget;

// An error as the application reports an unhandled failure: the program's title, a stop icon,
// one OK button.
void showErrorMessage(const std::string& text, QWidget* parent = nullptr);

// A warning with one OK button and the program's title.
void showWarningMessage(const QString& text, QWidget* parent = nullptr);

// A warning with one OK button that does not hold the program up: the box stays while the
// program goes on, and goes when the operator closes it.
void showWarningNotice(const QString& text);

// Information with one OK button and the given title.
void showInformationMessage(const QString& title, const QString& text, QWidget* parent = nullptr);

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

// A notice with an OK button; its line on standard error holds the instruction and the content.
void showTaskDialogNotice(const TaskDialogText& text, QMessageBox::Icon icon, QWidget* parent);
