#include "frm_splash.h"

#include <QCloseEvent>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QTimer>
#include <QtNumeric>
#include <utility>

#include "fonts.h"
#include "twips.h"

FrmSplash::FrmSplash(std::function<void()> handOver)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), handOver_(std::move(handOver)) {
    setObjectName(QStringLiteral("FrmSplash"));
    // Unloading the splash at hand-over is closing it: nothing of it is left afterwards.
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("登录中"));
    setWindowIcon(QIcon(QStringLiteral(":/assets/app.ico")));
    setGeometry(twips(4620), twips(4260), twips(5895), twips(2610));
    setFixedSize(twips(5895), twips(2610));
    setFont(faceFont(songFace(), 10.5, false));
    picture_ = QPixmap(QStringLiteral(":/assets/splash.jpg"));

    // Never given a caption, so it shows nothing; it is part of the window all the same.
    auto* label1 = new QLabel(this);
    label1->setObjectName(QStringLiteral("Label1"));
    label1->setGeometry(twips(1680), twips(2400), twips(240), twips(435));
    QPalette palette = label1->palette();
    palette.setColor(QPalette::WindowText, QColor(128, 128, 255));
    label1->setPalette(palette);
    label1->setFont(faceFont(songFace(), 21.75, true));

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(200);
    connect(Timer1, &QTimer::timeout, this, &FrmSplash::Timer1_Timer);

    Form_Load();
}

void FrmSplash::Form_Load() {
    tickCount_ = 0;
    Timer1->start();
}

void FrmSplash::Timer1_Timer() {
    if (tickCount_ <= 3) {
        if (qAddOverflow<qint16>(tickCount_, 1, &tickCount_))
            qFatal("splash tick counter overflowed");
        return;
    }
    // The timer stops before the main window exists, so no later tick can open a second one.
    Timer1->stop();
    handOver_();
    close();
}

void FrmSplash::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, picture_);
}

void FrmSplash::closeEvent(QCloseEvent* event) {
    // A splash closed before the hand-over takes its timer with it.
    Timer1->stop();
    QWidget::closeEvent(event);
}
