#pragma once
#include "app/NotCarriedLine.h"
#include "platform/Dispatch.h"

#include <memory>

namespace ombrix::platform {
class Printers;
}

namespace ombrix {

class PrintersWindow;

// The printer-install control the main window hosts as OleInstall1. Its
// operation ShowPrinters shows the system's printers in one modeless window and returns.
class PrinterInstallControl final : public platform::Dispatch {
public:
    static constexpr int ShowPrinters = 5;

    // notCarried: for the printers window of another computer.
    explicit PrinterInstallControl(const platform::Printers& printers,
                                   NotCarriedSource notCarried = {});
    ~PrinterInstallControl() override;

    QVariant call(int dispid, const QVariantList& args = {}) override;

    // The printers window once ShowPrinters has made it, else nullptr.
    PrintersWindow* window() const { return m_window.get(); }

private:
    const platform::Printers& m_printers;
    NotCarriedSource m_notCarried;
    // Closing the window only hides it; the next call reads the printers afresh.
    std::unique_ptr<PrintersWindow> m_window;
};

} // namespace ombrix
