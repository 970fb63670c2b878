#include "report/ReportSources.h"

#include "main_window/HostedControls.h"
#include "main_window/modCPUInfo.h"
#include "registry/clsRegistryAccess.h"

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

} // namespace ombrix
