#pragma once

namespace ombrix {
class Forms;
class PrinterInstallControl;
namespace platform {
struct LinuxMachine;
}

// Registers every window of the program, over this machine's services; the
// main window is the one the program starts with.
void registerWindows(Forms& forms, platform::LinuxMachine& machine,
                     PrinterInstallControl& printerInstall);

} // namespace ombrix
