#pragma once

#include <QPixmap>
#include <QWidget>
#include <QtGlobal>

class QTimer;

// The borderless title picture shown at start. Its timer counts four ticks and on the fifth
// opens the main window and closes the splash, about one second after the splash was loaded.
// Closing the splash before then ends the program without a main window.
class FrmSplash : public QWidget {
    Q_OBJECT
public:
    explicit FrmSplash(QWidget* parent = nullptr);

    qint16 tickCount() const { return tickCount_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_Load();
    void Timer1_Timer();

    QTimer* Timer1 = nullptr;
    qint16 tickCount_ = 0;
    QPixmap picture_;
};
