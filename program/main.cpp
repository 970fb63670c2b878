#include "app/Application.h"
#include "app/DisplayCheck.h"
#include "app/Forms.h"
#include "app/Handler.h"
#include "app/Startup.h"
#include "main_window/PrinterInstallControl.h"
#include "platform/PlatformError.h"
#include "platform/linux/LinuxMachine.h"
#include "program/CommandLine.h"
#include "program/OtherComputer.h"
#include "program/StandardStreams.h"
#include "program/WindowIcon.h"
#include "program/Windows.h"

#include <cstdio>
#include <optional>

using namespace ombrix;

// The program: the Linux services are made once here and handed to the
// windows, which are made and loaded on first reference. With --computer the
// windows get another computer's services in place of this one's.
int main(int argc, char** argv) {
    program::holdClosedStandardStreams();
    // --help and --version answer before any display is needed.
    const program::CommandLine commandLine =
        program::readCommandLine(program::argumentsOf(argc, argv));
    if (commandLine.exitStatus)
        return *commandLine.exitStatus;

    platform::LinuxMachine m(sendToErrorSink);
    // The collector's library writes the environment on first use: here,
    // before the application object starts threads that read it.
    if (!commandLine.computer.isEmpty()) {
        try {
            m.counterSources.prepare();
        } catch (const std::exception&) {
            // Reading the computer says why, below.
        }
    }
    // No display is found out before another computer is waited for.
    std::optional<DisplayCheck> display(std::in_place);
    Application app(argc, argv, m.boxes);
    display.reset();
    // Another computer that cannot be reached ends the run as a missing
    // display does: one line, before any window.
    std::optional<program::OtherComputer> other;
    if (!commandLine.computer.isEmpty()) {
        try {
            other.emplace(m, commandLine.computer);
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

    PrinterInstallControl printerInstall =
        other
            ? PrinterInstallControl(other->machine().printers,
                                    [&machine = other->machine()] { return machine.notCarried(); })
            : PrinterInstallControl(m.printers);
    const auto endProgram = [] { QCoreApplication::exit(0); };
    Forms forms;
    registerWindows(forms, other ? other->windowServices(printerInstall, endProgram)
                                 : program::windowServices(m, printerInstall, endProgram));
    return runProgram(app, forms);
}
