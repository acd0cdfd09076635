#pragma once

#include <QPixmap>
#include <QWidget>
#include <QtGlobal>
#include <functional>

class QTimer;

// The borderless title picture shown at start. Its timer counts four ticks and on the fifth
// hands over to the main window and closes the splash, about one second after the splash was
// loaded. Closing the splash before then ends the program without a main window. The splash
// deletes itself when it closes.
class FrmSplash : public QWidget {
    Q_OBJECT
public:
    // `handOver` opens the main window; it runs once, on the fifth tick.
    explicit FrmSplash(std::function<void()> handOver);

    qint16 tickCount() const { return tickCount_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_Load();
    void Timer1_Timer();

    std::function<void()> handOver_;
    QTimer* Timer1 = nullptr;
    qint16 tickCount_ = 0;
    QPixmap picture_;
};
