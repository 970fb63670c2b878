#include "program/OtherComputer.h"

#include "platform/PlatformError.h"
#include "platform/linux/LinuxMachine.h"

namespace ombrix::program {
namespace {

// Over the link the windows read the computer by later: the collector
// counts one client.
platform::RemoteFacts readAll(platform::ComputerLink& link) {
    platform::LinkAnswer<platform::RemoteFacts> read =
        link.readFactsNow(platform::FactParts{.summary = true, .network = true, .drives = true});
    if (!read.value)
        throw platform::PlatformError(read.failure.toStdString());
    if (!read.value->reachable)
        throw platform::PlatformError("The computer does not answer");
    return std::move(*read.value);
}

} // namespace

WindowServices windowServices(platform::LinuxMachine& m, platform::Dispatch& printerInstall,
                              std::function<void()> endProgram) {
    return {{m.memory,
             m.version,
             m.cpu,
             m.host,
             m.systemInfo,
             m.floppy,
             printerInstall,
             m.clock,
             std::move(endProgram),
             nullptr,
             {}},
            *m.registry,
            m.fileSystem,
            m.counterSources,
            m.remoteComputers,
            m.boxes,
            {}};
}

OtherComputer::OtherComputer(platform::LinuxMachine& local, const QString& computer)
    : m_local(local), m_machine(computer, readAll(*local.remoteComputers.link(computer))),
      m_readings(local.remoteComputers.link(computer), m_machine.snapshot) {
    local.remoteComputers.setShown(computer);
}

OtherComputer::~OtherComputer() {
    m_local.remoteComputers.setShown({});
}

WindowServices OtherComputer::windowServices(platform::Dispatch& printerInstall,
                                             std::function<void()> endProgram) {
    platform::RemoteMachine& m = m_machine;
    const NotCarriedSource notCarried = [&m] { return m.notCarried(); };
    return {{m.memory, m.version, m.cpu, m.host, m.systemInfo, m.floppy, printerInstall, m.clock,
             std::move(endProgram), &m_readings, notCarried},
            *m.registry,
            m.fileSystem,
            m_local.counterSources,
            m_local.remoteComputers,
            m_local.boxes,
            notCarried};
}

QString unreachableLine(const QString& computer, const QString& reason) {
    QString line = QStringLiteral("ombrix: cannot reach %1: %2").arg(computer, reason.trimmed());
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return line;
}

} // namespace ombrix::program
