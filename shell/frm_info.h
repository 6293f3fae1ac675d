#pragma once
// The information window: which release runs, the program's credits, and the FM-protection
// self-test, which runs the renderer's --selftest beside the program and shows its verdict.

#include <QDialog>
#include <QProcess>

class QLabel;
class QPushButton;
class TScrollText;

class TfrmInfo : public QDialog {
public:
    explicit TfrmInfo(QWidget* parent = nullptr);

    QLabel* lblVersion = nullptr;
    TScrollText* ScrollText1 = nullptr;
    QPushButton* btnSelfTest = nullptr;

    // The renderer that runs the self-test: qex-render beside the program.
    QString SelfTestProgram;
    void btnSelfTestClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
    void SelfTestFinished();

    QProcess selfTest_;
};

// The version of the running executable, as built.
QString fileVersion();
