#include "message_boxes.h"

#include <QMessageBox>

void showErrorMessage(const std::string& text, QWidget* parent)
{
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Lumavox QEX"), QString::fromStdString(text),
                    QMessageBox::Ok, parent);
    box.exec();
}
