#include "platform/linux/LazyPrinters.h"

namespace ombrix::platform {

LazyPrinters::LazyPrinters(std::string module, std::string server)
    : m_module(std::move(module)), m_server(std::move(server)) {}

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
        if (m_server.empty()) {
            using Factory = Printers* (*)();
            auto make = reinterpret_cast<Factory>(m_library->symbol("ombrix_make_printers"));
            m_printers.reset(make());
        } else {
            using Factory = Printers* (*)(const char*);
            auto make = reinterpret_cast<Factory>(m_library->symbol("ombrix_make_printers_at"));
            m_printers.reset(make(m_server.c_str()));
        }
    }
    lock.unlock();
    return m_printers->query();
}

} // namespace ombrix::platform
