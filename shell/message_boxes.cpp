#include "message_boxes.h"

#include <QPushButton>

namespace {

const QString kTitle = QStringLiteral("Lumavox QEX");

} // namespace

void showErrorMessage(const std::string& text, QWidget* parent)
{
    QMessageBox box(QMessageBox::Critical, kTitle, QString::fromStdString(text), QMessageBox::Ok, parent);
    box.exec();
}

void showWarningMessage(const QString& text, QWidget* parent)
{
    QMessageBox box(QMessageBox::Warning, kTitle, text, QMessageBox::Ok, parent);
    box.exec();
}

int askTaskDialog(const TaskDialogText& text, QWidget* parent)
{
    QMessageBox box(QMessageBox::Question, text.title, text.instruction, QMessageBox::NoButton, parent);
    box.setInformativeText(text.content);
    QPushButton* yes = box.addButton(QStringLiteral("Yes"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("No"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes ? kTaskDialogYes : kTaskDialogNo;
}

void showTaskDialogNotice(const TaskDialogText& text, QMessageBox::Icon icon, QWidget* parent)
{
    QMessageBox box(icon, text.title, text.instruction, QMessageBox::Ok, parent);
    box.setInformativeText(text.content);
    box.exec();
}
