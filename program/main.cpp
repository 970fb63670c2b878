#include "app/Application.h"
#include "app/Forms.h"
#include "app/Startup.h"
#include "main_window/PrinterInstallControl.h"
#include "platform/linux/LinuxMachine.h"
#include "program/Windows.h"

using namespace ombrix;

// The program: the Linux services are made once here and handed to the
// windows, which are made and loaded on first reference.
int main(int argc, char** argv) {
    platform::LinuxMachine machine;
    Application app(argc, argv, machine.boxes);
    Application::setApplicationName(QStringLiteral("Ombrix"));

    PrinterInstallControl printerInstall(machine.printers);
    Forms forms;
    registerWindows(forms, machine, printerInstall);
    return runProgram(app, forms);
}
