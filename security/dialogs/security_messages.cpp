#include "security_messages.h"

#include "platform/operator_log.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>

QString applicationTitle()
{
    // Qt answers with the executable's name when the program has set no name of its own.
    return QCoreApplication::applicationName();
}

void showSecurityError(const QString& text, QWidget* parent)
{
    qex::platform::logOperatorMessage(text.toStdString());
    QMessageBox box(QMessageBox::Critical, applicationTitle(), text, QMessageBox::Ok, parent);
    box.exec();
}

bool confirmSecurity(const QString& text, QWidget* parent)
{
    QMessageBox box(QMessageBox::Question, applicationTitle(), text, QMessageBox::NoButton, parent);
    QPushButton* yes = box.addButton(QStringLiteral("Yes"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("No"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}
