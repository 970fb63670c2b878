#pragma once
#include <QString>
#include <QStringList>

#include <map>

class QLocale;

namespace ombrix {
class modCPUInfo;
namespace platform {
class Dispatch;
class FloppyDrive;
} // namespace platform

// The main window's facts, one per value label, in the order it lists them.
enum class SummaryFact {
    OsPlatform,
    OsVersion,
    OsBuild,
    ComputerName,
    IpAddress,
    Processor,
    Vendor,
    SpeedMhz,
    TotalMb,
    AvailableMb,
    FddPresent
};

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
    // The facts that could not be read, each with why; their texts stay empty.
    std::map<SummaryFact, QString> unread;
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
// The processor's model, vendor and speed from the processor library.
void ReadProcessorFacts(modCPUInfo& cpuInfo, SummaryFacts& facts);
// The platform line from the version record.
void ReadPlatformFacts(modCPUInfo& cpuInfo, SummaryFacts& facts);
// What GetInfo reads, in its order: memory, processor, platform line.
void ReadGetInfoFacts(modCPUInfo& cpuInfo, SummaryFacts& facts);
// The IP address, then the host name, from the Winsock control.
void ReadHostFacts(platform::Dispatch& winsock, SummaryFacts& facts);
// The OS version number and build, from the system-information control.
void ReadOsVersionFacts(platform::Dispatch& systemInfo, const QLocale& locale, SummaryFacts& facts);
// Whether drive A: can be selected.
bool FloppyPresent(platform::FloppyDrive& floppy);

// Every fact of the load step, read in its order. Where the load step stops
// at the first failure (a processor library that cannot be loaded), this
// reads on: the facts of a part that fails stay empty and are named in
// `unread`, and the others stand.
SummaryFacts ReadSummaryFacts(const SummarySources& sources, const QLocale& locale);

// "Caption: value" lines in the order the window shows them.
QStringList SummaryLines(const SummaryFacts& facts);

// The caption of a fact's line, without its colon: "Speed (Mhz)".
QString SummaryCaption(SummaryFact fact);

// The unread facts and why, a part at a time: "Processor, Vendor, Speed
// (Mhz): <why>"; empty when every fact was read.
QString UnreadFactsText(const SummaryFacts& facts);

} // namespace ombrix
