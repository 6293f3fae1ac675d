#pragma once
// The information window: which release runs, and the program's credits.

#include <QDialog>

class QLabel;
class TScrollText;

class TfrmInfo : public QDialog {
public:
    explicit TfrmInfo(QWidget* parent = nullptr);

    QLabel* lblVersion = nullptr;
    TScrollText* ScrollText1 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
};

// The version of the running executable, as built.
QString fileVersion();
