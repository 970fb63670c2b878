#include "main_window/PrinterInstallControl.h"

#include "main_window/PrintersWindow.h"

namespace ombrix {

PrinterInstallControl::PrinterInstallControl(const platform::Printers& printers,
                                             NotCarriedSource notCarried)
    : m_printers(printers), m_notCarried(std::move(notCarried)) {}

PrinterInstallControl::~PrinterInstallControl() = default;

QVariant PrinterInstallControl::call(int dispid, const QVariantList& args) {
    if (dispid != ShowPrinters)
        return Dispatch::call(dispid, args);
    if (!m_window)
        m_window = std::make_unique<PrintersWindow>(m_printers, m_notCarried);
    m_window->refresh();
    m_window->show();
    if (m_window->isMinimized())
        m_window->showNormal();
    m_window->raise();
    m_window->activateWindow();
    return {};
}

} // namespace ombrix
