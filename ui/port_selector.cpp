#include "port_selector.h"

#include <QAbstractItemView>
#include <QLineEdit>
#include <utility>

PortSelector::PortSelector(const QStringList& fixedEntries, Lister lister, QWidget* parent)
    : QComboBox(parent),
      fixedEntries_(static_cast<int>(fixedEntries.size())),
      lister_(std::move(lister)) {
    setEditable(true);
    // A port name is taken as typed; inline completion would turn "CO" into "COM1".
    setCompleter(nullptr);
    setInsertPolicy(QComboBox::NoInsert);
    // Every entry carries the number 0, which nothing reads.
    for (const QString& entry : fixedEntries) addItem(entry, 0);
    listFoundPorts();
    setCurrentIndex(0);
}

void PortSelector::showPopup() {
    listFoundPorts();
    QComboBox::showPopup();
}

void PortSelector::listFoundPorts() {
    const QString edited = lineEdit()->text();
    const int cursor = lineEdit()->cursorPosition();
    const bool blocked = blockSignals(true);
    while (count() > fixedEntries_) removeItem(count() - 1);
    for (const FoundPort& port : lister_()) {
        addItem(QString::fromStdString(port.path), 0);
        if (const std::string names = port.names(); !names.empty())
            setItemData(count() - 1, QString::fromStdString(names), Qt::ToolTipRole);
    }
    blockSignals(blocked);
    // The list may be wider than the box: a long device path shows whole when it drops down.
    view()->setMinimumWidth(view()->sizeHintForColumn(0) + 2 * view()->frameWidth() + 4);
    if (lineEdit()->text() != edited) {
        lineEdit()->setText(edited);
        lineEdit()->setCursorPosition(cursor);
    }
}
