#pragma once
#include <QString>

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
};

// The system's print destinations. No service is a fact to show, not an error.
class Printers {
public:
    virtual ~Printers() = default;
    virtual PrinterList query() const = 0;
};

} // namespace ombrix::platform
