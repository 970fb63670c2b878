#include "platform/linux/LazyPrinters.h"

namespace ombrix::platform {

LazyPrinters::LazyPrinters(std::string module) : m_module(std::move(module)) {}

LazyPrinters::~LazyPrinters() {
    m_printers.reset();
}

PrinterList LazyPrinters::query() const {
    std::unique_lock lock(m_loading);
    if (!m_printers) {
        if (!m_library)
            // libcups keeps state per thread, freed when a worker thread
            // ends, which may be after we are gone.
            m_library.emplace(m_module, "printers module", true);
        using Factory = Printers* (*)();
        auto make = reinterpret_cast<Factory>(m_library->symbol("ombrix_make_printers"));
        m_printers.reset(make());
    }
    lock.unlock();
    return m_printers->query();
}

} // namespace ombrix::platform
