#pragma once
// Centred lines of text that scroll upwards continuously, without word wrap.

#include <QStringList>
#include <QTimer>
#include <QWidget>

class TScrollText : public QWidget {
public:
    TScrollText(QStringList lines, QWidget* parent = nullptr);

    void start();
    bool scrolling() const { return timer_.isActive(); }
    // Pixels scrolled since the last wrap-around.
    int offset() const { return offset_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void step();
    int textHeight() const;

    QStringList lines_;
    QTimer timer_;
    int offset_ = 0;
};
