#include "program/Program.h"

#include "app/Forms.h"
#include "main_window/PrinterInstallControl.h"
#include "platform/PlatformError.h"
#include "platform/linux/modules/LazyPrinters.h"
#include "platform/remote/RemoteMachine.h"
#include "program/ReportCommand.h"
#include "report/ComputerList.h"
#include "report/ReportSources.h"

#include <QCoreApplication>
#include <QLocale>

#include <algorithm>

namespace ombrix::program {
namespace {

// All the facts its windows read later, in one reading.
platform::RemoteFacts readAll(platform::ComputerLink& link) {
    platform::LinkAnswer<platform::RemoteFacts> read = link.readFactsNow(
        platform::FactParts{.summary = true, .network = true, .drives = true, .printers = true});
    if (!read.value)
        throw platform::PlatformError(read.failure.toStdString());
    if (!read.value->reachable)
        throw platform::PlatformError("The computer does not answer");
    return std::move(*read.value);
}

} // namespace

// The windows of a computer opened from the Computers window.
struct Program::Opened {
    std::unique_ptr<platform::RemoteMachine> machine;
    std::unique_ptr<PrinterInstallControl> printers;
    Forms forms;
};

Program::Program(platform::RemoteComputerLinks::ErrorSink errors) : m_local(std::move(errors)) {}

Program::~Program() = default;

ComputersWindow::Services Program::computersWindow() {
    // Links let go of wait a while (at most kMostIdleLinks of them) before
    // their connections close: those count against the room too.
    const std::size_t room = ComputersAtOnce(kMostComputersAtOnce, roomForComputers());
    const std::size_t atOnce =
        room > platform::kMostIdleLinks ? room - platform::kMostIdleLinks : 1;
    return {{m_local.remoteComputers, ComputerSummary, atOnce},
            m_local.machine().registry,
            [this](const QString& computer, std::function<void(const QString&)> done) {
                openComputer(computer, std::move(done));
            }};
}

SummaryFacts ComputerSummary(const QString& computer, platform::RemoteFacts facts) {
    platform::RemoteMachine m(computer, std::move(facts), platform::modulePrintersAt);
    return ReadSummary({m.memory, m.version, m.cpu, m.host, m.systemInfo, m.floppy}, QLocale());
}

Forms* Program::formsOf(const QString& computer) {
    const auto it = m_opened.find(ComputerKey(computer));
    return it == m_opened.end() ? nullptr : &it->second->forms;
}

void Program::openComputer(const QString& computer, std::function<void(const QString&)> done) {
    if (Forms* forms = formsOf(computer)) {
        forms->showMain();
        done({});
        return;
    }
    if (m_opened.empty())
        // Windows go before the application object does.
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, &m_answers,
                         [this] {
                             for (auto& [key, opened] : m_opened)
                                 opened->forms.destroyAll();
                             m_opened.clear();
                         });
    std::shared_ptr<platform::ComputerLink> link = m_local.remoteComputers.link(computer);
    link->retry();
    link->readFacts(
        &m_answers,
        platform::FactParts{.summary = true, .network = true, .drives = true, .printers = true},
        [this, computer, link,
         done = std::move(done)](platform::LinkAnswer<platform::RemoteFacts> read) {
            if (!read.value || !read.value->reachable)
                return done(read.value ? QStringLiteral("The computer does not answer")
                                       : read.failure);
            const QString key = ComputerKey(computer);
            if (!m_opened.contains(key)) {
                auto opened = std::make_unique<Opened>();
                opened->machine = std::make_unique<platform::RemoteMachine>(
                    computer, std::move(*read.value), platform::modulePrintersAt, link);
                platform::RemoteMachine& shown = *opened->machine;
                const NotCarriedSource notCarried = [&shown] { return shown.notCarried(); };
                opened->printers =
                    std::make_unique<PrinterInstallControl>(shown.printers, notCarried);
                const WindowServices services{opened->machine->machine(),
                                              *opened->printers,
                                              [] { QCoreApplication::exit(0); },
                                              m_local.counterSources,
                                              m_local.remoteComputers,
                                              m_local.boxes,
                                              nullptr,
                                              m_showComputers,
                                              notCarried};
                registerWindows(opened->forms, services);
                m_opened.emplace(key, std::move(opened));
            }
            m_opened[key]->forms.showMain();
            done({});
        });
}

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
    return {machine(), printerInstall, std::move(endProgram), m_local.counterSources,
            m_local.remoteComputers, m_local.boxes,
            // Made with the window: the room for links is measured then,
            // not at start-up.
            [this] { return computersWindow(); }, m_showComputers, notCarried()};
}

NotCarriedSource Program::notCarried() {
    if (!m_shown)
        return {};
    return [&shown = *m_shown] { return shown.notCarried(); };
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
