#include "report/ComputerReport.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <thread>

namespace ombrix {
namespace {

bool asked(const std::vector<ReportSection>& sections, ReportSection section) {
    return std::find(sections.begin(), sections.end(), section) != sections.end();
}

QString summaryKey(SummaryFact fact) {
    return QStringLiteral("summary.") + SummaryFactKey(fact);
}

// Whether the collector gave none of the volumes this figure.
template <class Figure>
bool noVolumeHas(const std::vector<platform::RemoteVolume>& volumes, Figure figure) {
    return !volumes.empty() && std::none_of(volumes.begin(), volumes.end(),
                                            [&](const auto& volume) { return figure(volume); });
}

} // namespace

QStringList UnavailableFacts(const platform::RemoteFacts& facts,
                             const std::vector<ReportSection>& sections) {
    using enum SummaryFact;
    const platform::RemoteSummary& summary = facts.summary;
    const bool named = summary.nodeName && !summary.nodeName->isEmpty();
    QStringList keys;
    if (asked(sections, ReportSection::Summary)) {
        if (!summary.kernelRelease)
            keys << summaryKey(OsPlatform);
        if (!summary.kernelRelease && !summary.distribution)
            keys << summaryKey(OsVersion);
        if (!summary.kernelRelease)
            keys << summaryKey(OsBuild);
        if (!named)
            keys << summaryKey(ComputerName);
        if (facts.address.isEmpty())
            keys << summaryKey(IpAddress);
        if (!summary.processorModel)
            keys << summaryKey(Processor);
        if (!summary.processorVendor)
            keys << summaryKey(Vendor);
        if (!summary.processorMHz)
            keys << summaryKey(SpeedMhz);
        // The summary reads both figures together, as the window does.
        if (!summary.totalMemory || !summary.availableMemory)
            keys << summaryKey(TotalMb) << summaryKey(AvailableMb);
        keys << summaryKey(FddPresent);
    }
    if (asked(sections, ReportSection::Network)) {
        keys << QStringLiteral("network.domain");
        if (!named)
            keys << QStringLiteral("network.host_name");
        keys << QStringLiteral("network.name_servers");
        if (!facts.adapters)
            keys << QStringLiteral("network.adapters");
        else
            for (const char* key :
                 {"subnet_masks", "gateways", "dhcp", "primary_wins", "backup_wins"})
                keys << QStringLiteral("network.adapters.") + QLatin1String(key);
    }
    if (asked(sections, ReportSection::Drives)) {
        if (!facts.volumes) {
            keys << QStringLiteral("drives");
        } else {
            keys << QStringLiteral("drives.serial");
            if (noVolumeHas(*facts.volumes, [](const auto& v) { return v.totalBytes; }))
                keys << QStringLiteral("drives.total_bytes");
            if (noVolumeHas(*facts.volumes, [](const auto& v) { return v.availableBytes; }))
                keys << QStringLiteral("drives.free_bytes");
        }
    }
    return keys;
}

void SetAsideUnavailable(ComputerReport& computer) {
    Report& report = computer.report;
    if (report.summary) {
        std::erase_if(report.summary->unread, [&](const auto& unread) {
            return computer.unavailable.contains(summaryKey(unread.first));
        });
        if (report.summary->unread.empty())
            report.failures.erase(ReportSection::Summary);
        else
            report.failures[ReportSection::Summary] = UnreadFactsText(*report.summary);
    }
    for (ReportSection section : report.sections)
        if (computer.unavailable.contains(SectionName(section)))
            report.failures.erase(section);
}

std::vector<ComputerReport>
ReportEachComputer(const QStringList& computers,
                   const std::function<ComputerReport(const QString&)>& read) {
    std::vector<ComputerReport> reports(static_cast<std::size_t>(computers.size()));
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i = next++; i < reports.size(); i = next++) {
            const QString& computer = computers[static_cast<qsizetype>(i)];
            try {
                reports[i] = read(computer);
            } catch (const std::exception& error) {
                reports[i].computer = computer;
                reports[i].connectionFailure = QString::fromUtf8(error.what());
            }
        }
    };
    std::vector<std::jthread> workers;
    const std::size_t count = std::min(reports.size(), kMostComputersAtOnce);
    for (std::size_t i = 0; i + 1 < count; ++i)
        workers.emplace_back(work);
    work();          // this thread is one of them
    workers.clear(); // joined before the reports leave
    return reports;
}

} // namespace ombrix
