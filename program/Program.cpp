#include "program/Program.h"

#include "platform/PlatformError.h"
#include "platform/linux/modules/LazyPrinters.h"
#include "platform/remote/RemoteMachine.h"
#include "report/ReportSources.h"

#include <QLocale>

namespace ombrix::program {
namespace {

// All the facts its windows read later, in one reading.
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

Program::Program(platform::RemoteComputerLinks::ErrorSink errors) : m_local(std::move(errors)) {}

Program::~Program() = default;

void Program::showComputer(const QString& computer) {
    std::shared_ptr<platform::ComputerLink> link = m_local.remoteComputers.link(computer);
    platform::RemoteFacts facts = readAll(*link);
    m_shown = std::make_unique<platform::RemoteMachine>(
        computer, std::move(facts), platform::modulePrintersAt, std::move(link));
    m_local.remoteComputers.setShown(computer);
}

platform::Machine Program::machine() {
    return m_shown ? m_shown->machine() : m_local.machine();
}

WindowServices Program::windowServices(platform::Dispatch& printerInstall,
                                       std::function<void()> endProgram) {
    return {machine(),
            printerInstall,
            std::move(endProgram),
            m_local.counterSources,
            m_local.remoteComputers,
            m_local.boxes};
}

ReportSources Program::reportSources() {
    return SourcesOf(machine(), QLocale());
}

QString unreachableLine(const QString& computer, const QString& reason) {
    QString line = QStringLiteral("ombrix: cannot reach %1: %2").arg(computer, reason.trimmed());
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return line;
}

} // namespace ombrix::program
