#pragma once
#include "computers_window/ComputersWindow.h"
#include "main_window/Ombrix2.h"
#include "platform/Machine.h"

#include <functional>
#include <optional>

namespace ombrix {
class Forms;
namespace platform {
class CounterSources;
class Dispatch;
class MessageBoxes;
class RemoteComputers;
} // namespace platform

// What the windows ask: the services of the computer they show, and the
// program's own, which stay this computer's whichever computer is shown.
struct WindowServices {
    platform::Machine machine;
    platform::Dispatch& printerInstall; // shows the machine's printers
    std::function<void()> endProgram;
    platform::CounterSources& counterSources;
    platform::RemoteComputers& remoteComputers;
    platform::MessageBoxes& boxes;
    // The Computers window's services: none where the program has none here
    // (another computer's windows reach the program's one through
    // showComputers).
    std::function<ComputersWindow::Services()> computers = nullptr;
    // Shows the program's Computers window; none: no entry for it.
    std::function<void()> showComputers = nullptr;
    // Another computer's facts that cannot be known; none for this computer.
    NotCarriedSource notCarried = {};
};

// Registers every window of the program; the one the program starts with is
// the main window, or the Computers window when computersFirst.
void registerWindows(Forms& forms, const WindowServices& services, bool computersFirst = false);

} // namespace ombrix
