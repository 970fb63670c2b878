#pragma once
#include <QString>
#include <QStringList>

class QLocale;

namespace ombrix {
class modCPUInfo;
namespace platform {
class Dispatch;
class FloppyDrive;
} // namespace platform

// The main window's facts, as the texts its value labels show.
struct SummaryFacts {
    QString osPlatform;      // LblOS
    QString osVersion;       // Label3
    QString osBuild;         // Label5
    QString computerName;    // Label20
    QString ipAddress;       // Label11
    QString processor;       // lblProcessor
    QString vendor;          // lblVendor
    QString speedMhz;        // LblNormSpeed
    QString totalMb;         // lblRamTotal
    QString availableMb;     // lblRamAvail
    bool fddPresent = false; // Label9 shows "Yes"
};

// The hosted controls and services the facts come from.
struct SummarySources {
    modCPUInfo& cpuInfo;
    platform::Dispatch& winsock;    // Winsock1
    platform::Dispatch& systemInfo; // Ombrix1
    platform::FloppyDrive& floppy;
};

// Total and available memory figures; both stay empty when the system
// cannot tell.
void ReadMemoryFacts(modCPUInfo& cpuInfo, SummaryFacts& facts);
// What GetInfo reads, in its order: memory, processor, platform line.
void ReadGetInfoFacts(modCPUInfo& cpuInfo, SummaryFacts& facts);
// The IP address, then the host name, from the Winsock control.
void ReadHostFacts(platform::Dispatch& winsock, SummaryFacts& facts);
// The OS version number and build, from the system-information control.
void ReadOsVersionFacts(platform::Dispatch& systemInfo, const QLocale& locale, SummaryFacts& facts);
// Whether drive A: can be selected.
bool FloppyPresent(platform::FloppyDrive& floppy);

// Every fact of the load step, read in its order.
SummaryFacts ReadSummaryFacts(const SummarySources& sources, const QLocale& locale);

// "Caption: value" lines in the order the window shows them.
QStringList SummaryLines(const SummaryFacts& facts);

} // namespace ombrix
