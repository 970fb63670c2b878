#pragma once
#include "main_window/Ombrix2.h"
#include "platform/Machine.h"

#include <functional>

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
};

// Registers every window of the program; the main window is the one the
// program starts with.
void registerWindows(Forms& forms, const WindowServices& services);

} // namespace ombrix
