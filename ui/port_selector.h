#pragma once

#include <QComboBox>
#include <QStringList>
#include <functional>
#include <vector>

#include "port_scan.h"

// The port selector: an editable drop-down that lists its fixed entries first and after them the
// printer ports found on this machine, found again each time the list drops down, so that a
// printer plugged in after start appears. The edited text is never changed by that, and a name
// is taken as typed (no completion).
class PortSelector : public QComboBox {
    Q_OBJECT
public:
    using Lister = std::function<std::vector<FoundPort>()>;

    PortSelector(const QStringList& fixedEntries, Lister lister, QWidget* parent);

    void showPopup() override;

private:
    void listFoundPorts();

    int fixedEntries_;
    Lister lister_;
};
