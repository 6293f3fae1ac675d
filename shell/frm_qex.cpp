#include "frm_qex.h"

#include "data_mod.h"
#include "platform/file_rename.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QPushButton>

TfrmQEX::TfrmQEX(TDataMod& dataMod, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint), dataMod_(dataMod)
{
    setObjectName("frmQEX");
    setWindowTitle(QStringLiteral("Lumavox QEX"));

    auto* bar = new QHBoxLayout(this);
    bar->setSizeConstraint(QLayout::SetFixedSize);
    btnClose = new QPushButton(QStringLiteral("Exit"), this);
    btnClose->setObjectName("btnClose");
    bar->addWidget(btnClose);
    connect(btnClose, &QPushButton::clicked, this, [this] { btnCloseClick(); });
}

TfrmQEX::~TfrmQEX() = default;

void TfrmQEX::BringToFront()
{
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
}

void TfrmQEX::CloseOnSystemRequest()
{
    closeWithoutQuestion_ = true;
    close();
}

void TfrmQEX::btnCloseClick()
{
    close();
}

void TfrmQEX::closeEvent(QCloseEvent* event)
{
    if (!closeWithoutQuestion_ && !FormCloseQuery()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

bool TfrmQEX::FormCloseQuery()
{
    return true;
}

void TfrmQEX::FormClose()
{
    dataMod_.ADOConnection1.Close();
    const std::filesystem::path working = AppFolder() + "qex.mdb";
    std::error_code ec;
    if (std::filesystem::exists(working, ec))
        qex::platform::renameFileNoReplace(working, AppFolder() + "qex.sec");
}
