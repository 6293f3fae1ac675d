#pragma once
// The band across the top of the access-control dialogs: a picture and a short marked-up text
// (a bold title, then a line of instructions). The markup is the dialogs' own: FONT, B, BR and
// IND x="n", an indent from the left edge past the picture.

#include <QWidget>

class QLabel;

class THeaderBand : public QWidget {
public:
    explicit THeaderBand(const QString& markup, QWidget* parent = nullptr);

    const QString& Markup() const { return markup_; }
    void SetMarkup(const QString& markup);

    // The markup as Qt rich text, and the indent it asks for.
    static QString richText(const QString& markup);
    static int indent(const QString& markup);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString markup_;
    QLabel* text_ = nullptr;
};

// A header of a title and an instruction line, written in the dialogs' markup.
QString headerMarkup(const QString& title, const QString& instruction);
