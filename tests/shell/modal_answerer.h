#pragma once
// Stands in for the operator at the program's message boxes and task dialogs: records each one
// that opens and answers it with the next scripted button caption (OK or the default button
// when the script has run out).

#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>

class ModalAnswerer : public QObject {
public:
    struct Seen {
        QString title;
        QString text;
        QString informativeText;
        QStringList buttons;
        QString answer;
    };

    explicit ModalAnswerer(QStringList answers = {});

    const QList<Seen>& seen() const { return seen_; }
    int count() const { return static_cast<int>(seen_.size()); }

private:
    void poll();

    QStringList answers_;
    QList<Seen> seen_;
    QTimer timer_;
};
