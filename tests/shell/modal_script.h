#pragma once
// Stands in for the operator at the program's own dialogs (not its message boxes): each time a
// dialog is shown, the next scripted step runs with it, inside the dialog's own event loop. A
// step may open further dialogs; their steps run in turn.

#include <QObject>

#include <chrono>
#include <deque>
#include <functional>

class QAbstractButton;
class QDialog;
class QLineEdit;
class QWidget;

class ModalScript : public QObject {
public:
    using Step = std::function<void(QDialog& dialog)>;

    explicit ModalScript(std::deque<Step> steps = {});
    ~ModalScript() override;

    void then(Step step) { steps_.push_back(std::move(step)); }
    // Dialogs shown so far, and whether every step has run.
    int shown() const { return shown_; }
    bool finished() const { return steps_.empty(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::deque<Step> steps_;
    int shown_ = 0;
};

// What an operator does in a dialog. A window brought to the front is the active one (focus and
// keyboard shortcuts act there).
void activate(QWidget& window);
void typeInto(QLineEdit* box, const QString& text);
void clickWhenEnabled(QAbstractButton* button, std::chrono::milliseconds timeout = std::chrono::seconds(10));
// Runs the event loop until the condition holds; false on timeout.
bool processEventsUntil(const std::function<bool()>& condition,
                        std::chrono::milliseconds timeout = std::chrono::seconds(10));
