#include "frm_info.h"

#include "artwork.h"
#include "message_boxes.h"
#include "scroll_text.h"

#include <QCoreApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
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

    btnSelfTest = new QPushButton(QStringLiteral("FM self-test"), this);
    btnSelfTest->setObjectName("btnSelfTest");
    btnSelfTest->setToolTip(
        QStringLiteral("Check that the on-air preset with pre-emphasis keeps the 19 kHz pilot clean"));
    btnSelfTest->setGeometry(8, 200 - 8 - 26, 110, 26);
    SelfTestProgram = QCoreApplication::applicationDirPath() + QStringLiteral("/qex-render");
    connect(btnSelfTest, &QPushButton::clicked, this, &TfrmInfo::btnSelfTestClick);
    connect(&selfTest_, &QProcess::finished, this, &TfrmInfo::SelfTestFinished);
    connect(&selfTest_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            SelfTestFinished();
    });

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

void TfrmInfo::btnSelfTestClick()
{
    if (selfTest_.state() != QProcess::NotRunning)
        return;
    btnSelfTest->setEnabled(false);
    btnSelfTest->setText(QStringLiteral("Testing..."));
    selfTest_.start(SelfTestProgram, {QStringLiteral("--selftest")});
}

void TfrmInfo::SelfTestFinished()
{
    btnSelfTest->setEnabled(true);
    btnSelfTest->setText(QStringLiteral("FM self-test"));
    const QString said = QString::fromUtf8(selfTest_.readAllStandardOutput());
    const QString complaint = QString::fromUtf8(selfTest_.readAllStandardError()).trimmed();
    const bool ran = selfTest_.error() != QProcess::FailedToStart && selfTest_.exitStatus() == QProcess::NormalExit;
    const bool passed = ran && selfTest_.exitCode() == 0;
    const bool failed = ran && selfTest_.exitCode() == 1 && said.contains(QStringLiteral("FM protection: FAIL"));
    if (!passed && !failed) {
        showWarningMessage(QStringLiteral("The FM self-test could not be run (%1): %2")
                               .arg(SelfTestProgram, complaint.isEmpty() ? selfTest_.errorString() : complaint),
                           this);
        return;
    }
    // The report is a table: shown in a fixed-width font.
    showTaskDialogNotice({QStringLiteral("FM-protection self-test"),
                          passed ? QStringLiteral("FM protection: PASS") : QStringLiteral("FM protection: FAIL"),
                          QStringLiteral("<pre>%1</pre>").arg(said.trimmed().toHtmlEscaped())},
                         passed ? QMessageBox::Information : QMessageBox::Warning, this);
}
