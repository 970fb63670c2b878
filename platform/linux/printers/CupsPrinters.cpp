#include "platform/linux/printers/CupsPrinters.h"

#include <cups/cups.h>

#include <cstdlib>
#include <memory>

namespace ombrix::platform {
namespace {

struct HttpClose {
    void operator()(http_t* http) const { httpClose(http); }
};
using HttpPtr = std::unique_ptr<http_t, HttpClose>;

class DestList {
public:
    DestList() = default;
    DestList(const DestList&) = delete;
    DestList& operator=(const DestList&) = delete;
    ~DestList() { cupsFreeDests(count, dests); }
    int count = 0;
    cups_dest_t* dests = nullptr;
};

// Called by libcups when the scheduler has been silent for the timeout:
// returning 0 abandons the request.
int giveUp(http_t*, void*) {
    return 0;
}

QString option(const cups_dest_t& dest, const char* name) {
    return QString::fromUtf8(cupsGetOption(name, dest.num_options, dest.options));
}

} // namespace

PrinterState printerStateFromIpp(const char* value) {
    if (!value)
        return PrinterState::Unknown;
    char* end = nullptr;
    const long state = std::strtol(value, &end, 10);
    if (end == value || *end != '\0')
        return PrinterState::Unknown;
    switch (state) {
    case IPP_PSTATE_IDLE:
        return PrinterState::Idle;
    case IPP_PSTATE_PROCESSING:
        return PrinterState::Processing;
    case IPP_PSTATE_STOPPED:
        return PrinterState::Stopped;
    default:
        return PrinterState::Unknown;
    }
}

CupsPrinters::CupsPrinters(std::chrono::milliseconds timeout, std::string server)
    : m_timeout(timeout), m_server(std::move(server)) {}

PrinterList CupsPrinters::query() const {
    PrinterList list;
    // libcups keeps its settings per thread, read once; a query may run on
    // any worker, so it reads the configuration (CUPS_SERVER, client.conf)
    // afresh, as a new process would.
    cupsSetServer(nullptr);
    // Our own connection instead of CUPS_HTTP_DEFAULT: the default one waits
    // without end on a scheduler that has stopped answering.
    const bool remote = !m_server.empty();
    HttpPtr http(httpConnect2(remote ? m_server.c_str() : cupsServer(),
                              remote ? IPP_PORT : ippPort(), nullptr, AF_UNSPEC, cupsEncryption(),
                              1, static_cast<int>(m_timeout.count()), nullptr));
    if (!http)
        return list;
    httpSetTimeout(http.get(), static_cast<double>(m_timeout.count()) / 1000.0, giveUp, nullptr);

    DestList found;
    found.count = cupsGetDests2(http.get(), &found.dests);
    // "Not found" is how a scheduler without queues answers; errors from the
    // server range mean that the scheduler that took the connection did not
    // answer: it is there, but could not be read.
    list.serviceReachable = found.count > 0 || cupsLastError() < IPP_STATUS_ERROR_INTERNAL;
    // libcups reports a request that got no answer as an internal error,
    // with errno's text, which then often reads "Success".
    if (!list.serviceReachable) {
        const char* why = cupsLastErrorString();
        list.unreadWhy = cupsLastError() != IPP_STATUS_ERROR_INTERNAL && why && *why
                             ? QString::fromUtf8(why)
                             : QStringLiteral("no answer");
    }
    for (int i = 0; i < found.count; ++i) {
        const cups_dest_t& dest = found.dests[i];
        PrintDestination d;
        d.name = QString::fromUtf8(dest.name);
        if (dest.instance)
            d.name += QLatin1Char('/') + QString::fromUtf8(dest.instance);
        d.isDefault = dest.is_default != 0;
        d.state =
            printerStateFromIpp(cupsGetOption("printer-state", dest.num_options, dest.options));
        d.location = option(dest, "printer-location");
        d.makeAndModel = option(dest, "printer-make-and-model");
        d.info = option(dest, "printer-info");
        list.destinations.push_back(std::move(d));
    }
    return list;
}

} // namespace ombrix::platform
