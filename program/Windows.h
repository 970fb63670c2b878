#pragma once
#include "main_window/Ombrix2.h"

namespace ombrix {
class Forms;
namespace platform {
class FileSystem;
class MessageBoxes;
class CounterSources;
class Registry;
class RemoteComputers;
} // namespace platform

// What the windows ask the machine, beyond the main window's own services.
struct WindowServices {
    Ombrix2::Services mainWindow;
    platform::Registry& registry;
    platform::FileSystem& fileSystem;
    platform::CounterSources& counterSources;
    platform::RemoteComputers& remoteComputers;
    platform::MessageBoxes& boxes;
    // Another computer's facts that cannot be known; none for this computer.
    NotCarriedSource notCarried = {};
};

// Registers every window of the program; the main window is the one the
// program starts with.
void registerWindows(Forms& forms, const WindowServices& services);

} // namespace ombrix
