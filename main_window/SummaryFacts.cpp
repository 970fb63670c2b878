#include "main_window/SummaryFacts.h"

#include "main_window/HostedControls.h"
#include "main_window/SummaryText.h"
#include "main_window/TextRoutines.h"
#include "main_window/modCPUInfo.h"
#include "platform/Dispatch.h"
#include "platform/FloppyDrive.h"

namespace ombrix {

void ReadMemoryFacts(modCPUInfo& cpuInfo, SummaryFacts& facts) {
    platform::MemoryStatus memory;
    if (!cpuInfo.GlobalMemoryStatus(memory))
        return; // unknown, never zero
    facts.totalMb = memoryFigure(memory.totalPhysBytes);
    facts.availableMb = memoryFigure(memory.availPhysBytes);
}

void ReadGetInfoFacts(modCPUInfo& cpuInfo, SummaryFacts& facts) {
    ReadMemoryFacts(cpuInfo, facts);

    auto model = modCPUInfo::zeroBuffer();
    auto rawSpeed = modCPUInfo::zeroBuffer();
    auto normSpeed = modCPUInfo::zeroBuffer();
    auto vendor = modCPUInfo::zeroBuffer();
    auto extra = modCPUInfo::zeroBuffer();
    cpuInfo.GetProcessor(model, vendor, extra);
    cpuInfo.GetProcessorRawSpeed(rawSpeed);
    cpuInfo.GetProcessorNormSpeed(normSpeed);
    facts.processor = StripZero(modCPUInfo::bufferText(model));
    facts.vendor = StripZero(modCPUInfo::bufferText(vendor));
    facts.speedMhz = StripZero(modCPUInfo::bufferText(normSpeed));

    cpuInfo.osVersion.dwOSVersionInfoSize = sizeof(platform::OSVERSIONINFOA);
    cpuInfo.GetVersionExA(); // a failure leaves the record as it was
    facts.osPlatform = platformLine(cpuInfo.osVersion);
}

void ReadHostFacts(platform::Dispatch& winsock, SummaryFacts& facts) {
    facts.ipAddress = winsock.get(WinsockControl::LocalIP).toString();
    facts.computerName = winsock.get(WinsockControl::LocalHostName).toString();
}

void ReadOsVersionFacts(platform::Dispatch& systemInfo, const QLocale& locale,
                        SummaryFacts& facts) {
    facts.osVersion = osVersionText(systemInfo.get(SysInfoControl::OSVersion), locale);
    facts.osBuild = osBuildText(systemInfo.get(SysInfoControl::OSBuild));
}

bool FloppyPresent(platform::FloppyDrive& floppy) {
    return floppy.selectDriveA();
}

SummaryFacts ReadSummaryFacts(const SummarySources& sources, const QLocale& locale) {
    SummaryFacts facts;
    ReadGetInfoFacts(sources.cpuInfo, facts);
    ReadHostFacts(sources.winsock, facts);
    ReadOsVersionFacts(sources.systemInfo, locale, facts);
    facts.fddPresent = FloppyPresent(sources.floppy);
    return facts;
}

QStringList SummaryLines(const SummaryFacts& facts) {
    auto megabytes = [](const QString& figure) {
        return figure.isEmpty() ? figure : figure + QStringLiteral(" MB");
    };
    return {QStringLiteral("OS Platform: ") + facts.osPlatform,
            QStringLiteral("OS Version: ") + facts.osVersion,
            QStringLiteral("OS Build: ") + facts.osBuild,
            QStringLiteral("Computer Name: ") + facts.computerName,
            QStringLiteral("IP Address: ") + facts.ipAddress,
            QStringLiteral("Processor: ") + facts.processor,
            QStringLiteral("Vendor: ") + facts.vendor,
            QStringLiteral("Speed (Mhz): ") + facts.speedMhz,
            QStringLiteral("Total: ") + megabytes(facts.totalMb),
            QStringLiteral("Available: ") + megabytes(facts.availableMb),
            QStringLiteral("FDD Present?: ") +
                (facts.fddPresent ? QStringLiteral("Yes") : QString())};
}

} // namespace ombrix
