#include "modal_answerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>

ModalAnswerer::ModalAnswerer(QStringList answers) : answers_(std::move(answers))
{
    connect(&timer_, &QTimer::timeout, this, [this] { poll(); });
    timer_.start(5);
}

void ModalAnswerer::poll()
{
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible())
        return;
    Seen seen{box->windowTitle(), box->text(), box->informativeText(), {}, {}};
    QAbstractButton* choice = box->defaultButton();
    const QString wanted = answers_.isEmpty() ? QString() : answers_.takeFirst();
    for (QAbstractButton* button : box->buttons()) {
        seen.buttons << button->text();
        if (!wanted.isEmpty() && button->text() == wanted)
            choice = button;
    }
    if (!choice && !box->buttons().isEmpty())
        choice = box->buttons().first();
    seen.answer = choice ? choice->text() : QString();
    seen_.append(seen);
    if (choice)
        choice->click();
    else
        box->done(0);
}
