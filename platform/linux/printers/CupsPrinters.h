#pragma once
#include "platform/Printers.h"

#include <chrono>
#include <string>

namespace ombrix::platform {

// Destinations from the CUPS scheduler that libcups is configured for
// (client.conf, CUPS_SERVER). A scheduler that accepts a connection but does
// not answer is given up after a bound (libcups makes two requests and waits
// a second for each before the timeout counts: about 4 s with the default),
// where libcups' own default connection would wait without end, and is named
// as unread. libcups opens its settings files as they are, so a query may
// still wait on one: the program asks through LazyPrinters, which bounds it.
class CupsPrinters final : public Printers {
public:
    // server: another computer's scheduler, asked at its port 631; empty for
    // the one libcups is configured for.
    explicit CupsPrinters(std::chrono::milliseconds timeout = std::chrono::milliseconds(1000),
                          std::string server = {});
    PrinterList query() const override;

private:
    std::chrono::milliseconds m_timeout;
    std::string m_server;
};

// The scheduler's "printer-state" option value (3, 4, 5) as a state.
PrinterState printerStateFromIpp(const char* value);

} // namespace ombrix::platform
