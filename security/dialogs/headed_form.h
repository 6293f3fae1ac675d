#pragma once
// The layout the access-control forms share: the header band across the top, labelled fields,
// and a default button (result OK) beside a cancel button at the bottom.

#include <QDialog>

class QFormLayout;
class QPushButton;
class THeaderBand;

class THeadedForm : public QDialog {
public:
    struct Buttons {
        const char* okName;
        QString okCaption;
        const char* cancelName;
        QString cancelCaption;
    };

    THeadedForm(const QString& markup, const Buttons& buttons, QWidget* parent);

    THeaderBand* Header = nullptr;

protected:
    void AddRow(QWidget* label, QWidget* control);
    void AddRow(const QString& label, QWidget* control);
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }

private:
    QFormLayout* fields_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
};
