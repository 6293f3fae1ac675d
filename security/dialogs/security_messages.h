#pragma once
// Message boxes of the access-control dialogs, titled with the application's title.

#include <QString>

#include <exception>

class QWidget;

// The title set for the program or, when none is set, the executable's name.
QString applicationTitle();

// An error box with one OK button.
void showSecurityError(const QString& text, QWidget* parent);

// A question with "Yes" and "No" buttons; true on "Yes".
bool confirmSecurity(const QString& text, QWidget* parent);

// Runs an action of a dialog: an error is shown in a box and the dialog goes on.
template <class Action>
void handleSecurityAction(QWidget* parent, Action&& action)
{
    try {
        action();
    } catch (const std::exception& error) {
        showSecurityError(QString::fromStdString(error.what()), parent);
    }
}
