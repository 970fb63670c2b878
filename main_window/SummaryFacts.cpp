#include "main_window/SummaryFacts.h"

#include "main_window/HostedControls.h"
#include "main_window/SummaryText.h"
#include "main_window/TextRoutines.h"
#include "main_window/modCPUInfo.h"
#include "platform/Dispatch.h"
#include "platform/FloppyDrive.h"

#include <exception>
#include <initializer_list>
#include <iterator>
#include <utility>

namespace ombrix {

void ReadMemoryFacts(modCPUInfo& cpuInfo, SummaryFacts& facts) {
    platform::MemoryStatus memory;
    if (!cpuInfo.GlobalMemoryStatus(memory))
        return; // unknown, never zero
    facts.totalMb = memoryFigure(memory.totalPhysBytes);
    facts.availableMb = memoryFigure(memory.availPhysBytes);
}

void ReadProcessorFacts(modCPUInfo& cpuInfo, SummaryFacts& facts) {
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
}

void ReadPlatformFacts(modCPUInfo& cpuInfo, SummaryFacts& facts) {
    cpuInfo.osVersion.dwOSVersionInfoSize = sizeof(platform::OSVERSIONINFOA);
    cpuInfo.GetVersionExA(); // a failure leaves the record as it was
    facts.osPlatform = platformLine(cpuInfo.osVersion);
}

void ReadGetInfoFacts(modCPUInfo& cpuInfo, SummaryFacts& facts) {
    ReadMemoryFacts(cpuInfo, facts);
    ReadProcessorFacts(cpuInfo, facts);
    ReadPlatformFacts(cpuInfo, facts);
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
    using enum SummaryFact;
    SummaryFacts facts;
    // A part is read into a copy that replaces the facts only when all of
    // it was read, so a part that fails halfway leaves none of its facts.
    const auto part = [&facts](std::initializer_list<SummaryFact> names, const auto& read) {
        SummaryFacts got = facts;
        try {
            read(got);
            facts = std::move(got);
        } catch (const std::exception& error) {
            for (SummaryFact name : names)
                facts.unread[name] = QString::fromUtf8(error.what());
        }
    };
    part({TotalMb, AvailableMb}, [&](SummaryFacts& got) { ReadMemoryFacts(sources.cpuInfo, got); });
    if (facts.totalMb.isEmpty() && !facts.unread.count(TotalMb)) {
        for (SummaryFact name : {TotalMb, AvailableMb})
            facts.unread[name] = QStringLiteral("the system does not tell its memory");
    }
    part({Processor, Vendor, SpeedMhz},
         [&](SummaryFacts& got) { ReadProcessorFacts(sources.cpuInfo, got); });
    part({OsPlatform}, [&](SummaryFacts& got) { ReadPlatformFacts(sources.cpuInfo, got); });
    part({IpAddress, ComputerName},
         [&](SummaryFacts& got) { ReadHostFacts(sources.winsock, got); });
    part({OsVersion, OsBuild},
         [&](SummaryFacts& got) { ReadOsVersionFacts(sources.systemInfo, locale, got); });
    part({FddPresent}, [&](SummaryFacts& got) { got.fddPresent = FloppyPresent(sources.floppy); });
    return facts;
}

QStringList SummaryLines(const SummaryFacts& facts) {
    using enum SummaryFact;
    auto megabytes = [](const QString& figure) {
        return figure.isEmpty() ? figure : figure + QStringLiteral(" MB");
    };
    const std::pair<SummaryFact, QString> values[] = {
        {OsPlatform, facts.osPlatform},
        {OsVersion, facts.osVersion},
        {OsBuild, facts.osBuild},
        {ComputerName, facts.computerName},
        {IpAddress, facts.ipAddress},
        {Processor, facts.processor},
        {Vendor, facts.vendor},
        {SpeedMhz, facts.speedMhz},
        {TotalMb, megabytes(facts.totalMb)},
        {AvailableMb, megabytes(facts.availableMb)},
        {FddPresent, facts.fddPresent ? QStringLiteral("Yes") : QString()}};
    QStringList lines;
    for (const auto& [fact, value] : values)
        lines << SummaryCaption(fact) + QStringLiteral(": ") + value;
    return lines;
}

QString SummaryCaption(SummaryFact fact) {
    switch (fact) {
    case SummaryFact::OsPlatform:
        return QStringLiteral("OS Platform");
    case SummaryFact::OsVersion:
        return QStringLiteral("OS Version");
    case SummaryFact::OsBuild:
        return QStringLiteral("OS Build");
    case SummaryFact::ComputerName:
        return QStringLiteral("Computer Name");
    case SummaryFact::IpAddress:
        return QStringLiteral("IP Address");
    case SummaryFact::Processor:
        return QStringLiteral("Processor");
    case SummaryFact::Vendor:
        return QStringLiteral("Vendor");
    case SummaryFact::SpeedMhz:
        return QStringLiteral("Speed (Mhz)");
    case SummaryFact::TotalMb:
        return QStringLiteral("Total");
    case SummaryFact::AvailableMb:
        return QStringLiteral("Available");
    case SummaryFact::FddPresent:
        break;
    }
    return QStringLiteral("FDD Present?");
}

QString UnreadFactsText(const SummaryFacts& facts) {
    // The facts of one part share their reason and follow each other.
    QStringList parts;
    QStringList names;
    for (auto it = facts.unread.begin(); it != facts.unread.end(); ++it) {
        names << SummaryCaption(it->first);
        const auto next = std::next(it);
        if (next == facts.unread.end() || next->second != it->second) {
            parts << names.join(QStringLiteral(", ")) + QStringLiteral(": ") + it->second;
            names.clear();
        }
    }
    return parts.join(QStringLiteral("; "));
}

} // namespace ombrix
