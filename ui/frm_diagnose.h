#pragma once

#include <QWidget>
#include <functional>

#include "diagnostic_pages.h"

// The diagnosis window: one row per test page, with what the page shows and how to read its
// paper, a button that prints it, and the technician's verdict on it and a note. The verdicts
// live as long as the window stays open. The pages print through the main window, on the port
// its selector names when the page is printed.
class FrmDiagnose : public QWidget {
    Q_OBJECT
public:
    // `print` prints one page and returns when the job has ended.
    using Printer = std::function<void(DiagnosticPage)>;
    FrmDiagnose(Printer print, QWidget* parent);

private:
    Printer print_;
};
