#include "app/Application.h"
#include "app/DisplayCheck.h"
#include "app/Forms.h"
#include "app/Handler.h"
#include "app/Startup.h"
#include "computers_window/ComputersWindow.h"
#include "main_window/PrinterInstallControl.h"
#include "platform/PlatformError.h"
#include "program/CommandLine.h"
#include "program/Program.h"
#include "program/StandardStreams.h"
#include "program/WindowIcon.h"
#include "program/Windows.h"

#include <cstdio>
#include <optional>

using namespace ombrix;

// The program: its parts are made once here and handed to the windows, which
// are made and loaded on first reference. With --computer the windows get
// another computer's services in place of this one's.
int main(int argc, char** argv) {
    program::holdClosedStandardStreams();
    // --help and --version answer before any display is needed.
    const program::CommandLine commandLine =
        program::readCommandLine(program::argumentsOf(argc, argv));
    if (commandLine.exitStatus)
        return *commandLine.exitStatus;

    // Owns the program's threads too, which go after the windows and before
    // the services they use.
    program::Program parts(sendToErrorSink);
    // The collector's library writes the environment on first use: here,
    // before the application object starts threads that read it.
    if (!commandLine.computer.isEmpty() || commandLine.computerList) {
        try {
            parts.local().counterSources.prepare();
        } catch (const std::exception&) {
            // Reading the computer says why, below.
        }
    }
    // No display is found out before another computer is waited for.
    std::optional<DisplayCheck> display(std::in_place);
    Application app(argc, argv, parts.local().boxes);
    display.reset();
    // Another computer that cannot be reached ends the run as a missing
    // display does: one line, before any window.
    if (!commandLine.computer.isEmpty()) {
        try {
            parts.showComputer(commandLine.computer);
        } catch (const platform::PlatformError& e) {
            const QString line =
                program::unreachableLine(commandLine.computer, QString::fromUtf8(e.what()));
            std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
            return 1;
        }
    }
    Application::setApplicationName(QStringLiteral("Ombrix"));
    Application::setDesktopFileName(QStringLiteral("org.ombrix.Ombrix"));
    Application::setWindowIcon(program::windowIcon());

    PrinterInstallControl printerInstall(parts.machine().printers, parts.notCarried());
    Forms forms;
    parts.showComputersWith([&forms] { forms.show<ComputersWindow>(); });
    registerWindows(forms, parts.windowServices(printerInstall, [] { QCoreApplication::exit(0); }),
                    commandLine.computerList.has_value());
    // --computers opens the Computers window on that list, kept as the one
    // last used.
    if (commandLine.computerList) {
        if (auto* computers = forms.get<ComputersWindow>())
            computers->showComputers(*commandLine.computerList);
    }
    return runProgram(app, forms);
}
