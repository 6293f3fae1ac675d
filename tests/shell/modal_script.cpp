#include "modal_script.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <gtest/gtest.h>

ModalScript::ModalScript(std::deque<Step> steps) : steps_(std::move(steps))
{
    qApp->installEventFilter(this);
}

ModalScript::~ModalScript()
{
    qApp->removeEventFilter(this);
}

bool ModalScript::eventFilter(QObject* watched, QEvent* event)
{
    auto* dialog = qobject_cast<QDialog*>(watched);
    if (event->type() == QEvent::Show && dialog && dialog->isWindow() && !qobject_cast<QMessageBox*>(dialog)) {
        ++shown_;
        if (!steps_.empty()) {
            Step step = std::move(steps_.front());
            steps_.pop_front();
            // Runs once the dialog's own loop runs.
            QTimer::singleShot(0, dialog, [dialog = QPointer<QDialog>(dialog), step = std::move(step)] {
                if (!dialog)
                    return;
                // As in front of the operator: the dialog is the active window, so focus and
                // keyboard shortcuts work.
                activate(*dialog);
                if (dialog)
                    step(*dialog);
            });
        }
    }
    return QObject::eventFilter(watched, event);
}

void activate(QWidget& window)
{
    QPointer<QWidget> guarded(&window);
    window.activateWindow();
    processEventsUntil([&] { return !guarded || guarded->isActiveWindow(); }, std::chrono::seconds(2));
}

void typeInto(QLineEdit* box, const QString& text)
{
    box->setFocus();
    box->selectAll();
    box->insert(text);
}

bool processEventsUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeout.count())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

void clickWhenEnabled(QAbstractButton* button, std::chrono::milliseconds timeout)
{
    EXPECT_TRUE(processEventsUntil([button] { return button->isEnabled(); }, timeout))
        << button->objectName().toStdString();
    button->click();
}
