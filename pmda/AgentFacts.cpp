#include "pmda/AgentFacts.h"

#include "platform/ComputerFacts.h"
#include "platform/PerfCounters.h"
#include "platform/linux/LinuxFloppyDrive.h"
#include "platform/linux/LinuxHostInfo.h"
#include "platform/linux/LinuxSystemInfo.h"
#include "platform/linux/OsRelease.h"
#include "platform/linux/network/ResolverState.h"

#include <QString>

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
    std::string servers;
    std::size_t count = 0;
    for (const std::string& server : resolver.nameServers) {
        if (count++ == platform::kMostFactItems)
            break;
        servers += (servers.empty() ? "" : " ") + server;
    }
    facts.dnsServers = boundedText(servers);
    return facts;
}

} // namespace ombrix::pmda
