#pragma once

#include <QPixmap>
#include <QWidget>
#include <chrono>
#include <string>
#include <string_view>

#include "controls.h"
#include "job_host.h"
#include "link_launcher.h"
#include "port_selector.h"

class QComboBox;

// The tester's working window: the maker's panel on the left, the port selector, copies box and
// job buttons on the right, and four contact links. Each job control starts its job inside the
// click and the job runs to its end before the click returns; the window serves the job as its
// host (port name, event pump, message boxes) and keeps no state beyond its controls.
class FrmLogin : public QWidget, public JobHost {
    Q_OBJECT
public:
    // `ports` finds the printer ports the port selector lists after its fixed entries; `limits`
    // bound the jobs' waits on their printers.
    explicit FrmLogin(
        LinkLauncher::Opener opener = LinkLauncher::desktopOpener(),
        PortSelector::Lister ports = [] { return scanPrinterPorts(); }, PortLimits limits = {});
    ~FrmLogin() override;

    std::string portName() override;
    void pumpEvents(std::chrono::milliseconds waitUpTo) override;
    bool waitOnDevice(int fd, short events, std::chrono::milliseconds limit) override;
    PortLimits portLimits() const override { return limits_; }
    void showInformation(std::string_view title, std::string_view text) override;
    void showCritical(std::string_view title, std::string_view text) override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void cmdexit_Click();
    void Command1_Click();
    void barcode_Click();
    void Command2_Click();
    void Command9_Click();
    void Command10_Click();
    void Command11_Click();
    void Picture2_Click();
    void Picture1_Click();
    void Image4_Click();

    QPixmap background_;
    LinkLauncher links_;
    PortLimits limits_;

    QComboBox* Combo1 = nullptr;
};
