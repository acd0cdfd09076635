#pragma once

#include <QPixmap>
#include <QPointer>
#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "controls.h"
#include "frm_diagnose.h"
#include "job_host.h"
#include "link_launcher.h"
#include "port_selector.h"

class QComboBox;
class QLineEdit;

// The tester's working window: the maker's panel on the left, the port selector, copies box and
// job buttons on the right, and four contact links. Each job control runs its job inside the
// click, as many times as the copies box says, and the series runs to its end before the click
// returns; the window serves the jobs as their host (port name, event pump, message boxes).
// Input that arrives while a job waits on its printer is held and runs when the job has ended,
// its error box included.
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
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // A row of the window's job buttons: what the constructor makes, connects and orders.
    struct JobButton;
    static const std::vector<JobButton>& jobButtons();
    PictureButton* makeJobButton(const JobButton& row);

    // Runs `job` as many times as the copies box asks, one whole job after another. A copy that
    // fails ends the series; Esc stops it after the copy printing now.
    void runCopies(const std::function<bool()>& job);
    // The copies box's number, when it is one of 1 to 99.
    std::optional<int> copiesWanted() const;
    // Delivers, in order, the input kept while a job waited on its printer.
    void runHeldInput();

    void cmdexit_Click();
    void Command1_Click();
    void CommandStatus_Click();
    void CommandDiagnose_Click();
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
    QLineEdit* TxtQty = nullptr;
    // The diagnosis window while it is open: one at a time.
    QPointer<FrmDiagnose> diagnose_;

    bool stopCopies_ = false;
    bool holdingInput_ = false;
    std::vector<std::pair<QPointer<QObject>, std::unique_ptr<QEvent>>> heldInput_;
};
