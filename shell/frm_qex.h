#pragma once
// The operator's main window.

#include <QWidget>

class QPushButton;
class TDataMod;

class TfrmQEX : public QWidget {
public:
    explicit TfrmQEX(TDataMod& dataMod, QWidget* parent = nullptr);
    ~TfrmQEX() override;

    // Brings the window to the front, restoring it when minimised (a second start asked).
    void BringToFront();
    // Ends the program at the system's request (logout, shutdown): closes without a question.
    void CloseOnSystemRequest();

    void btnCloseClick();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool FormCloseQuery();
    void FormClose();

    TDataMod& dataMod_;
    QPushButton* btnClose = nullptr;
    bool closeWithoutQuestion_ = false;
};
