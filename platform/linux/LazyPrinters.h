#pragma once
#include "platform/Printers.h"
#include "platform/linux/SharedLibrary.h"

#include <memory>
#include <mutex>
#include <optional>

namespace ombrix::platform {

// The CUPS printers, from a module of their own (libombrix_printers.so)
// loaded on the first query: libcups and the TLS, Kerberos and Avahi
// libraries it brings cost start-up time and memory the summary does not
// need. A missing module throws PlatformError. Queries may come from any
// thread.
class LazyPrinters final : public Printers {
public:
    // server: another computer's scheduler; empty for this computer's.
    explicit LazyPrinters(std::string module = "libombrix_printers.so", std::string server = {});
    ~LazyPrinters() override;
    PrinterList query() const override;

private:
    std::string m_module;
    std::string m_server;
    mutable std::mutex m_loading;
    // The library outlives the object it made.
    mutable std::optional<SharedLibrary> m_library;
    mutable std::unique_ptr<Printers> m_printers;
};

} // namespace ombrix::platform
