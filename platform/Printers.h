#pragma once
#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ombrix::platform {

enum class PrinterState { Unknown, Idle, Processing, Stopped };

// One print destination as the print service reports it.
struct PrintDestination {
    QString name;
    bool isDefault = false;
    PrinterState state = PrinterState::Unknown;
    QString location;
    QString makeAndModel;
    QString info; // the description the administrator gave the queue
};

struct PrinterList {
    bool serviceReachable = false; // false: no print service answered
    std::vector<PrintDestination> destinations;
    // Why a print service that is there could not be read (it took its
    // connection but gave no answer in time, or its client settings would
    // not open); empty when it answered or there is none.
    QString unreadWhy = {};
};

// The system's print destinations. No service is a fact to show, not an
// error; a service that cannot be read is a failure, named in unreadWhy.
class Printers {
public:
    virtual ~Printers() = default;
    virtual PrinterList query() const = 0;
};

// Makes the printers of the print scheduler on that host (another computer's).
using SchedulerPrinters = std::function<std::unique_ptr<Printers>(const std::string& host)>;

} // namespace ombrix::platform
