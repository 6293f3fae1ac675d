#pragma once
// The program's message boxes and task dialogs, with the system's own titles and buttons.

#include <QString>
#include <string>

class QWidget;

// An error as the application reports an unhandled failure: the program's title, a stop icon,
// one OK button.
void showErrorMessage(const std::string& text, QWidget* parent = nullptr);
