#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>
#include <string_view>

class QWidget;

// A message box as the user saw it.
struct SeenBox {
    QMessageBox::Icon icon;
    QString title;
    QString text;
    int buttons;
    bool modal;
};

// Answers every message box that comes up while it lives, the way a user would: reads it and
// presses its first button.
class BoxAnswerer : public QObject {
public:
    BoxAnswerer();
    QList<SeenBox> seen;

private:
    QTimer poll_;
};

// The control a window's table names, by name and, for control arrays, index.
QWidget* control(const QWidget* window, const QString& name, int index = -1);

QString fromContact(std::u8string_view text);

// Windows ask for the home desktop's face names; the tests need them mapped as the program does.
void setUpFonts();
