#include "pmda/AgentFacts.h"

#include "platform/ComputerFacts.h"
#include "platform/EscapedKeyName.h"
#include "platform/PerfCounters.h"
#include "platform/PlatformError.h"
#include "platform/Registry.h"
#include "platform/common/NetworkKeys.h"
#include "platform/linux/LinuxFloppyDrive.h"
#include "platform/linux/LinuxHostInfo.h"
#include "platform/linux/LinuxSystemInfo.h"
#include "platform/linux/OsRelease.h"
#include "platform/linux/drives/LinuxFileSystem.h"
#include "platform/linux/modules/LazyPrinters.h"
#include "platform/linux/network/LiveNetworkView.h"
#include "platform/linux/network/ResolverState.h"

#include <QString>

#include <arpa/inet.h>
#include <bit>

namespace ombrix::pmda {

std::string boundedText(const std::string& utf8) {
    QString text = QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
    if (text.size() > platform::kMaxTextLength) {
        qsizetype cut = platform::kMaxTextLength;
        if (text.at(cut - 1).isHighSurrogate())
            --cut;
        text.truncate(cut);
    }
    return text.toStdString();
}

namespace {

using platform::RegistryValueData;

const RegistryValueData* findValue(const platform::ProviderKey& key, std::string_view name) {
    for (const auto& value : key.values)
        if (value.name == name)
            return &value;
    return nullptr;
}

// The texts of a REG_SZ or REG_MULTI_SZ value, as the view writes them.
std::vector<std::string> texts(const platform::ProviderKey& key, std::string_view name) {
    std::vector<std::string> found;
    const RegistryValueData* value = findValue(key, name);
    if (!value)
        return found;
    std::string text;
    for (unsigned char byte : value->data) {
        if (byte != 0) {
            text += char(byte);
        } else if (!text.empty()) {
            found.push_back(boundedText(text));
            text.clear();
        }
    }
    return found;
}

std::string joined(const std::vector<std::string>& items) {
    std::string text;
    std::size_t count = 0;
    for (const std::string& item : items) {
        if (count++ == platform::kMostFactItems)
            break;
        text += (text.empty() ? "" : " ") + item;
    }
    return boundedText(text);
}

unsigned prefixLength(const std::string& mask) {
    in_addr address{};
    if (::inet_pton(AF_INET, mask.c_str(), &address) != 1)
        return 0;
    return unsigned(std::popcount(ntohl(address.s_addr)));
}

// The adapters and their addresses, as the network view serves them to the
// network report.
void readAdapters(AgentFacts& facts) {
    namespace keys = platform::network_keys;
    const platform::LiveNetworkView view;
    const auto adapters = view.openKey(keys::kAdapters);
    if (!adapters)
        return;
    for (const std::string& key : adapters->subkeys) {
        if (facts.adapters.size() == platform::kMostFactItems)
            break;
        const auto tcpip = view.openKey(key + std::string(keys::kTcpipSuffix));
        const auto wins = view.openKey(std::string(keys::kAdapterPrefix) + key);
        if (!tcpip || !wins)
            continue; // gone since the list was read
        AgentAdapter adapter;
        adapter.key = boundedText(key);
        adapter.name = boundedText(platform::unescapedKeyName(key));
        adapter.gateways = joined(texts(*tcpip, "DefaultGateway"));
        const RegistryValueData* dhcp = findValue(*tcpip, "EnableDHCP");
        adapter.dhcp = dhcp && !dhcp->data.empty() && dhcp->data.front() != 0;
        const auto primary = texts(*wins, "NameServer");
        const auto backup = texts(*wins, "NameServerBackup");
        adapter.winsPrimary = primary.empty() ? std::string() : primary.front();
        adapter.winsBackup = backup.empty() ? std::string() : backup.front();
        const auto addresses = texts(*tcpip, "IPAddress");
        const auto masks = texts(*tcpip, "SubnetMask");
        for (std::size_t i = 0; i < addresses.size(); ++i) {
            if (facts.addresses.size() == platform::kMostFactItems)
                break;
            facts.addresses.push_back({adapter.key, adapter.name, addresses[i],
                                       i < masks.size() ? prefixLength(masks[i]) : 0});
        }
        facts.adapters.push_back(std::move(adapter));
    }
}

// The lettered drives, as the drive window reads each.
void readVolumes(AgentFacts& facts) {
    const platform::LinuxFileSystem fileSystem;
    const auto object = fileSystem.create();
    if (!object)
        return;
    for (const QString& letter : object->DriveLetters()) {
        if (facts.volumes.size() == platform::kMostFactItems)
            break;
        const auto drive = object->GetDrive(letter + u':');
        if (!drive)
            continue;
        AgentVolume volume;
        volume.letter = drive->DriveLetter().toStdString();
        volume.mountPoint = boundedText(drive->MountPoint().toStdString());
        volume.type = drive->DriveType();
        try {
            volume.serial = drive->SerialNumber();
        } catch (const platform::PlatformError&) {
            // where the serial number is kept did not answer: none is told
        }
        volume.freeBytes = drive->AvailableSpace();
        volume.totalBytes = drive->TotalSize();
        facts.volumes.push_back(std::move(volume));
    }
}

// The print queues, as the printers window lists them.
void readPrinters(AgentFacts& facts) {
    const platform::PrinterList list = platform::LazyPrinters().query();
    facts.printServiceReachable = list.serviceReachable;
    for (const platform::PrintDestination& destination : list.destinations) {
        if (facts.printers.size() == platform::kMostFactItems)
            break;
        facts.printers.push_back({boundedText(destination.name.toStdString()),
                                  int(destination.state), destination.isDefault,
                                  boundedText(destination.location.toStdString()),
                                  boundedText(destination.makeAndModel.toStdString()),
                                  boundedText(destination.info.toStdString())});
    }
}

} // namespace

AgentFacts readAgentFacts() {
    AgentFacts facts;
    facts.osName = boundedText(platform::readOsRelease().prettyName.toStdString());
    const platform::LinuxSystemInfo system;
    facts.osVersion = boundedText(system.osVersion().toStdString());
    facts.osBuild = system.osBuild();
    platform::LinuxFloppyDrive floppy;
    facts.fddPresent = floppy.selectDriveA();
    facts.primaryAddress = boundedText(platform::LinuxHostInfo().ipAddress().toStdString());
    const platform::ResolverConfig resolver = platform::ResolverState().read();
    facts.dnsDomain = boundedText(resolver.domain);
    facts.dnsServers = joined(resolver.nameServers);
    readAdapters(facts);
    readVolumes(facts);
    readPrinters(facts);
    return facts;
}

} // namespace ombrix::pmda
