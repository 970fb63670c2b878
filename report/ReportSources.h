#pragma once
#include "main_window/SummaryFacts.h"
#include "network_report/NetworkReport.h"

class QLocale;

namespace ombrix {
namespace platform {
class CpuLibrary;
class FloppyDrive;
class HostInfoProvider;
struct Machine;
class MemoryStatusProvider;
class Registry;
class SystemInfoProvider;
class VersionQuery;
} // namespace platform

struct ReportSources;

// The services the main window reads its facts from.
struct SummaryServices {
    platform::MemoryStatusProvider& memory;
    platform::VersionQuery& version;
    platform::CpuLibrary& cpu;
    const platform::HostInfoProvider& host;
    const platform::SystemInfoProvider& systemInfo;
    platform::FloppyDrive& floppy;
};

// The main window's facts, through the same controls and routines it uses.
SummaryFacts ReadSummary(const SummaryServices& services, const QLocale& locale);

// The network window's report and its facts, read through the registry
// class from a registry with the live network view mounted.
NetworkConfiguration ReadNetwork(platform::Registry& registry);

// Every section's facts from a computer's services, read as its windows read
// them. The services must outlive the sources.
ReportSources SourcesOf(const platform::Machine& machine, const QLocale& locale);

} // namespace ombrix
