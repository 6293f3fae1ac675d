#include "message_boxes.h"

#include "platform/operator_log.h"

#include <QApplication>
#include <QPushButton>

namespace {

const QString kTitle = QStringLiteral("Lumavox QEX");

// Whether the program runs with windows (not headless), so that a box can be shown.
bool hasWindows()
{
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

// Logs the text and shows the box where the program has windows.
void tell(QMessageBox::Icon icon, const QString& title, const QString& text, const QString& content, QWidget* parent)
{
    qex::platform::logOperatorMessage((content.isEmpty() ? text : text + QStringLiteral(": ") + content).toStdString());
    if (!hasWindows())
        return;
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    box.setInformativeText(content);
    box.exec();
}

} // namespace

void showErrorMessage(const std::string& text, QWidget* parent)
{
    tell(QMessageBox::Critical, kTitle, QString::fromStdString(text), QString(), parent);
}

void showWarningMessage(const QString& text, QWidget* parent)
{
    tell(QMessageBox::Warning, kTitle, text, QString(), parent);
}

void showWarningNotice(const QString& text)
{
    qex::platform::logOperatorMessage(text.toStdString());
    if (!hasWindows())
        return;
    auto* box = new QMessageBox(QMessageBox::Warning, kTitle, text, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->setAttribute(Qt::WA_QuitOnClose, false); // the program still ends with its main window
    box->show();
}

void showInformationMessage(const QString& title, const QString& text, QWidget* parent)
{
    tell(QMessageBox::Information, title, text, QString(), parent);
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
    tell(icon, text.title, text.instruction, text.content, parent);
}
