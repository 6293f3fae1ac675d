#include "header_band.h"

#include "security_pictures.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QRegularExpression>

namespace {

constexpr int kPictureSize = 40;
constexpr int kDefaultIndent = 70;

} // namespace

QString headerMarkup(const QString& title, const QString& instruction)
{
    return QStringLiteral("<FONT  size=\"14\"  face=\"Tahoma\"><B><IND x=\"70\">%1</B></FONT><BR><IND x=\"70\">%2")
        .arg(title, instruction);
}

THeaderBand::THeaderBand(const QString& markup, QWidget* parent) : QWidget(parent)
{
    setObjectName("HeaderBand");
    setAutoFillBackground(true);
    QPalette ground = palette();
    ground.setColor(QPalette::Window, Qt::white);
    setPalette(ground);
    text_ = new QLabel(this);
    text_->setTextFormat(Qt::RichText);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(text_);
    layout->addStretch();
    setMinimumHeight(kPictureSize + 20);
    SetMarkup(markup);
}

void THeaderBand::SetMarkup(const QString& markup)
{
    markup_ = markup;
    text_->setText(richText(markup));
    layout()->setContentsMargins(indent(markup), 6, 8, 6);
}

QString THeaderBand::richText(const QString& markup)
{
    QString text = markup;
    static const QRegularExpression indentTag(QStringLiteral("<IND[^>]*>"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression fontTag(QStringLiteral("<FONT\\s+size=\"(\\d+)\"\\s+face=\"([^\"]*)\"\\s*>"),
                                            QRegularExpression::CaseInsensitiveOption);
    text.remove(indentTag);
    text.replace(fontTag, QStringLiteral("<span style=\"font-size:\\1pt; font-family:'\\2'\">"));
    text.replace(QStringLiteral("</FONT>"), QStringLiteral("</span>"), Qt::CaseInsensitive);
    return text;
}

int THeaderBand::indent(const QString& markup)
{
    static const QRegularExpression indentTag(QStringLiteral("<IND\\s+x=\"(\\d+)\""),
                                              QRegularExpression::CaseInsensitiveOption);
    const auto match = indentTag.match(markup);
    return match.hasMatch() ? match.captured(1).toInt() : kDefaultIndent;
}

void THeaderBand::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    QPainter painter(this);
    const int top = (height() - kPictureSize) / 2;
    painter.drawPixmap(14, top, securityPicture(TSecurityPicture::Padlock, kPictureSize));
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawLine(0, height() - 1, width(), height() - 1);
}
