#include "app/Application.h"
#include "app/DisplayCheck.h"
#include "app/Forms.h"
#include "app/Handler.h"
#include "app/Startup.h"
#include "main_window/PrinterInstallControl.h"
#include "platform/linux/LinuxMachine.h"
#include "program/CommandLine.h"
#include "program/StandardStreams.h"
#include "program/WindowIcon.h"
#include "program/Windows.h"

#include <optional>

using namespace ombrix;

// The program: the Linux services are made once here and handed to the
// windows, which are made and loaded on first reference.
int main(int argc, char** argv) {
    program::holdClosedStandardStreams();
    // --help and --version answer before any display is needed.
    const program::CommandLine commandLine =
        program::readCommandLine(program::argumentsOf(argc, argv));
    if (commandLine.exitStatus)
        return *commandLine.exitStatus;

    platform::LinuxMachine m(sendToErrorSink);
    std::optional<DisplayCheck> display(std::in_place);
    Application app(argc, argv, m.boxes);
    display.reset();
    Application::setApplicationName(QStringLiteral("Ombrix"));
    Application::setDesktopFileName(QStringLiteral("org.ombrix.Ombrix"));
    Application::setWindowIcon(program::windowIcon());

    PrinterInstallControl printerInstall(m.printers);
    Forms forms;
    registerWindows(forms, {{m.memory, m.version, m.cpu, m.host, m.systemInfo, m.floppy,
                             printerInstall, m.clock, [] { QCoreApplication::exit(0); }},
                            *m.registry,
                            m.fileSystem,
                            m.counterSources,
                            m.remoteComputers,
                            m.boxes});
    return runProgram(app, forms);
}
