#include "report/ReportSources.h"

#include "drive_details/DriveReport.h"
#include "main_window/HostedControls.h"
#include "main_window/modCPUInfo.h"
#include "platform/Machine.h"
#include "platform/Printers.h"
#include "registry/clsRegistryAccess.h"
#include "report/Report.h"

#include <QLocale>

namespace ombrix {

SummaryFacts ReadSummary(const SummaryServices& services, const QLocale& locale) {
    modCPUInfo cpuInfo(services.memory, services.version, services.cpu);
    WinsockControl winsock(services.host);
    SysInfoControl systemInfo(services.systemInfo);
    return ReadSummaryFacts({cpuInfo, winsock, systemInfo, services.floppy}, locale);
}

NetworkConfiguration ReadNetwork(platform::Registry& registry) {
    const clsRegistryAccess access(registry);
    return ReadNetworkConfiguration(access);
}

ReportSources SourcesOf(const platform::Machine& m, const QLocale& locale) {
    ReportSources sources;
    sources.summary = [m, locale] {
        return ReadSummary({m.memory, m.version, m.cpu, m.host, m.systemInfo, m.floppy}, locale);
    };
    sources.network = [m] { return ReadNetwork(m.registry); };
    sources.drives = [m, locale] { return readEveryDrive(m.fileSystem, locale); };
    sources.printers = [m] { return m.printers.query(); };
    return sources;
}

} // namespace ombrix
