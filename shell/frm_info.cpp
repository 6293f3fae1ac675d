#include "frm_info.h"

#include "artwork.h"
#include "scroll_text.h"

#include <QLabel>
#include <QScreen>

namespace {

const QStringList kCredits = {
    QStringLiteral("Lumavox QEX"),
    QString(),
    QStringLiteral("Broadcast audio processing"),
    QStringLiteral("by the Lumavox audio team"),
    QString(),
    QStringLiteral("Signal path and presets"),
    QStringLiteral("Streaming engine"),
    QStringLiteral("Operator interface"),
    QString(),
    QStringLiteral("Thanks to the broadcast engineers"),
    QStringLiteral("who tuned it on air"),
};

} // namespace

QString fileVersion()
{
    return QStringLiteral(QEX_FILE_VERSION);
}

TfrmInfo::TfrmInfo(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName("frmInfo");
    setWindowTitle(QStringLiteral("About QEX"));
    setFixedSize(425, 200);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::white);
    setPalette(palette);

    auto* Image2 = new QLabel(this);
    Image2->setObjectName("Image2");
    Image2->setGeometry(0, 0, 425, 200);
    Image2->setPixmap(artwork::aboutBackground(QSize(425, 200)));

    lblVersion = new QLabel(this);
    lblVersion->setObjectName("lblVersion");
    lblVersion->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblVersion->setAttribute(Qt::WA_TranslucentBackground);
    lblVersion->setGeometry(425 - 8 - 200, 8, 200, 18);

    ScrollText1 = new TScrollText(kCredits, this);
    ScrollText1->setObjectName("ScrollText1");
    ScrollText1->setGeometry(425 - 8 - 241, 32, 241, 115);

    auto* Image1 = new QLabel(this);
    Image1->setObjectName("Image1");
    Image1->setScaledContents(true);
    Image1->setPixmap(artwork::aboutBadge(QSize(123, 34)));
    Image1->setGeometry(425 - 8 - 123, 200 - 8 - 34, 123, 34);
}

void TfrmInfo::showEvent(QShowEvent* event)
{
    FormShow();
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}

void TfrmInfo::FormShow()
{
    lblVersion->setText(QStringLiteral("Release %1").arg(fileVersion()));
    ScrollText1->start();
}
