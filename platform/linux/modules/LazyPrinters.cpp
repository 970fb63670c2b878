#include "platform/linux/modules/LazyPrinters.h"

#include "platform/linux/BoundedCall.h"

namespace ombrix::platform {
namespace {

// One worker per scheduler at most, and the report asks up to 16 computers
// at once: their questions never keep a volume's from starting, nor the
// other way round.
constexpr BoundedGroup kPrintServiceQueries{"print services", 32};

} // namespace

std::unique_ptr<Printers> modulePrintersAt(const std::string& host) {
    return std::make_unique<LazyPrinters>("libombrix_printers.so", host);
}

LazyPrinters::LazyPrinters(std::string module, std::string server, std::chrono::milliseconds bound)
    : m_module(std::move(module)), m_server(std::move(server)), m_bound(bound) {}

LazyPrinters::~LazyPrinters() {
    m_printers.reset();
}

std::shared_ptr<Printers> LazyPrinters::loaded() const {
    const std::lock_guard lock(m_loading);
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
    return m_printers;
}

PrinterList LazyPrinters::query() const {
    // Loaded here, not on the worker: loading is no question to the service,
    // and a missing module is reported as such.
    const std::shared_ptr<const Printers> printers = loaded();
    const QString key =
        QStringLiteral("print service at ") +
        (m_server.empty() ? QStringLiteral("this computer") : QString::fromStdString(m_server));
    if (std::optional<PrinterList> list = runBounded<PrinterList>(
            key, m_bound, [printers] { return std::optional(printers->query()); },
            kPrintServiceQueries))
        return std::move(*list);
    PrinterList unread;
    unread.unreadWhy =
        QStringLiteral("no answer within %1 s").arg(static_cast<double>(m_bound.count()) / 1000.0);
    return unread;
}

} // namespace ombrix::platform
