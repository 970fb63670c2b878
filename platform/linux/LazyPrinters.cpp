#include "platform/linux/LazyPrinters.h"

namespace ombrix::platform {

LazyPrinters::LazyPrinters(std::string module) : m_module(std::move(module)) {}

LazyPrinters::~LazyPrinters() {
    m_printers.reset();
}

PrinterList LazyPrinters::query() const {
    if (!m_printers) {
        if (!m_library)
            m_library.emplace(m_module, "printers module");
        using Factory = Printers* (*)();
        auto make = reinterpret_cast<Factory>(m_library->symbol("ombrix_make_printers"));
        m_printers.reset(make());
    }
    return m_printers->query();
}

} // namespace ombrix::platform
