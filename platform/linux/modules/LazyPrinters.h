#pragma once
#include "platform/Printers.h"
#include "platform/linux/modules/SharedLibrary.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>

namespace ombrix::platform {

// How long a print scheduler, this computer's or another's, is given to
// answer.
inline constexpr std::chrono::milliseconds kPrintServiceBound{1000};

// The CUPS printers, from a module of their own (libombrix_printers.so)
// loaded on the first query: libcups and the TLS, Kerberos and Avahi
// libraries it brings cost start-up time and memory the summary does not
// need. A missing module throws PlatformError. Queries may come from any
// thread.
//
// libcups may wait without end where we cannot reach: on the scheduler, and
// on files it opens as they are (its client.conf, lpoptions, the user
// database). Each query runs on a worker and is given up after `bound`; the
// list then names the service as unread. A worker still waiting keeps any
// later query to the same scheduler from starting until it returns.
class LazyPrinters final : public Printers {
public:
    // server: another computer's scheduler; empty for this computer's.
    explicit LazyPrinters(std::string module = "libombrix_printers.so", std::string server = {},
                          std::chrono::milliseconds bound = kPrintServiceBound);
    ~LazyPrinters() override;
    PrinterList query() const override;

private:
    std::shared_ptr<Printers> loaded() const;

    std::string m_module;
    std::string m_server;
    std::chrono::milliseconds m_bound;
    mutable std::mutex m_loading;
    // The library outlives the object it made.
    mutable std::optional<SharedLibrary> m_library;
    // Shared with a worker that may return after we are gone.
    mutable std::shared_ptr<Printers> m_printers;
};

// The printers of the scheduler on host, from the printers module.
std::unique_ptr<Printers> modulePrintersAt(const std::string& host);

} // namespace ombrix::platform
