#include "network_report/NetworkReport.h"

#include "platform/EscapedKeyName.h"
#include "platform/Registry.h"
#include "registry/clsRegistryAccess.h"

#include <algorithm>
#include <cstdint>

namespace ombrix {

namespace {

constexpr std::int32_t kLocalMachine = static_cast<std::int32_t>(platform::HKEY_LOCAL_MACHINE);
const QString kAdaptersKey = QStringLiteral("SYSTEM\\CurrentControlSet\\Services\\NetBT\\Adapters");
const QString kParametersKey =
    QStringLiteral("SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters");
const QString kServicesKey = QStringLiteral("SYSTEM\\CurrentControlSet\\Services\\");
const QString kSeparator = QStringLiteral("--------------------------------------");

// Only spaces are trimmed, as the report's own rule says.
QString trimmedSpaces(const QString& text) {
    qsizetype begin = 0, end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.mid(begin, end - begin);
}

// The addresses of a value's texts: each may hold several, separated by
// spaces or commas.
QStringList addressList(const QStringList& texts) {
    QStringList addresses;
    for (const QString& text : texts) {
        qsizetype start = 0;
        for (qsizetype at = 0; at <= text.size(); ++at)
            if (at == text.size() || text[at] == u' ' || text[at] == u',') {
                if (at > start)
                    addresses << text.mid(start, at - start);
                start = at + 1;
            }
    }
    return addresses;
}

// The name servers of the machine-wide value: its non-empty entries.
QStringList nameServerFacts(const QString& nameServers) {
    QStringList servers = NameServerEntries(nameServers);
    servers.removeAll(QString());
    return servers;
}

// Whether the key holds a value of that name (in any case) at all.
bool holdsValue(const clsRegistryAccess& access, const QString& key, const QString& name) {
    const auto values = access.EnumerateRegistryValues(key, kLocalMachine);
    return values && std::any_of(values->begin(), values->end(), [&](const auto& row) {
               return !row.empty() && row[0].compare(name, Qt::CaseInsensitive) == 0;
           });
}

QString tcpipKey(const QString& adapterKey) {
    return kServicesKey + adapterKey + QStringLiteral("\\Parameters\\Tcpip");
}

// The report's lines, and the facts as far as the lines show them: each
// value read just before its line is added, and nothing but what the lines
// show; the adapters' key names in `keys`.
NetworkConfiguration readLines(const clsRegistryAccess& access, QStringList& keys) {
    NetworkConfiguration config;
    QStringList& lines = config.lines;
    // A key that cannot be opened gives an absent text, shown as nothing.
    auto value = [&](const QString& key, const char* name) {
        return access.GetRegistryValue(key, QString::fromLatin1(name), kLocalMachine)
            .value_or(QString());
    };

    const auto adapters = access.EnumerateRegistryKeys(kAdaptersKey, kLocalMachine);
    if (!adapters || adapters->empty()) {
        lines << QStringLiteral("No network adapters found");
        return config;
    }

    config.domain = value(kParametersKey, "Domain");
    lines << QStringLiteral("Domain: ") + config.domain;
    config.hostName = value(kParametersKey, "HostName");
    lines << QStringLiteral("Host Name: ") + config.hostName;
    const QString nameServers = value(kParametersKey, "NameServer");
    lines << NameServerLines(nameServers);
    config.nameServers = nameServerFacts(nameServers);
    lines << kSeparator;

    for (const auto& row : *adapters) {
        if (!config.adapters.empty())
            lines << kSeparator;
        AdapterConfiguration& adapter = config.adapters.emplace_back();
        // The key is read by its name; the line shows the name it stands for.
        const QString& key = keys.emplace_back(row.empty() ? QString() : row[0]);
        adapter.name = AdapterName(key);
        lines << QStringLiteral("Adapter Name: ") + adapter.name;
        const QString wins = kAdaptersKey + u'\\' + key;
        adapter.primaryWins = value(wins, "NameServer");
        lines << QStringLiteral("   Primary WINS Server: ") + adapter.primaryWins;
        adapter.backupWins = value(wins, "NameServerBackup");
        lines << QStringLiteral("   WINS Server Backup: ") + adapter.backupWins;
        const QString tcpip = tcpipKey(key);
        lines << QStringLiteral("   Default Gateway(s): ") + value(tcpip, "DefaultGateway");
        // Where the value is not there, nobody knows: the line stays empty.
        if (holdsValue(access, tcpip, QStringLiteral("EnableDHCP")))
            adapter.dhcp = ReadsAsTrue(value(tcpip, "EnableDHCP"));
        lines << QStringLiteral("   DHCP Enabled: ") + (!adapter.dhcp   ? QString()
                                                        : *adapter.dhcp ? QStringLiteral("True")
                                                                        : QStringLiteral("False"));
        lines << QStringLiteral("   IP Address: ") + value(tcpip, "IPAddress");
        lines << QStringLiteral("   Subnet Mask(s): ") + value(tcpip, "SubnetMask");
    }
    return config;
}

} // namespace

QStringList NameServerEntries(QString nameServers) {
    QStringList entries;
    qsizetype space;
    while ((space = nameServers.indexOf(u' ')) >= 0) {
        entries << trimmedSpaces(nameServers.left(space));
        nameServers = nameServers.mid(space + 1);
    }
    if (!nameServers.isEmpty())
        entries << trimmedSpaces(nameServers);
    return entries;
}

QStringList NameServerLines(const QString& nameServers) {
    QStringList lines;
    for (const QString& entry : NameServerEntries(nameServers))
        lines << (lines.isEmpty() ? QStringLiteral("Name Server(s): ") : QString(6, u' ')) + entry;
    return lines;
}

bool ReadsAsTrue(const QString& text) {
    QString number = trimmedSpaces(text);
    if (number.startsWith(u'+') || number.startsWith(u'-'))
        number.remove(0, 1);
    const bool hex =
        number.size() > 2 && number.startsWith(QStringLiteral("&H"), Qt::CaseInsensitive);
    if (hex)
        number.remove(0, 2);
    if (number.isEmpty())
        return false;
    bool nonzero = false;
    for (const QChar c : number) {
        const bool digit = c.isDigit() && c.unicode() < 128;
        const bool hexLetter = (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
        if (!digit && !(hex && hexLetter))
            return false;
        nonzero = nonzero || c != u'0';
    }
    return nonzero;
}

QString AdapterName(const QString& keyName) {
    return QString::fromUtf8(platform::unescapedKeyName(keyName.toUtf8().toStdString()));
}

NetworkConfiguration ReadNetworkConfiguration(const clsRegistryAccess& access) {
    QStringList keys;
    NetworkConfiguration config = readLines(access, keys);
    auto value = [&](const QString& key, const char* name) {
        return access.GetRegistryValue(key, QString::fromLatin1(name), kLocalMachine)
            .value_or(QString());
    };
    // The machine's names are facts even where it has no adapters, which
    // the list shows alone.
    if (config.adapters.empty()) {
        config.domain = value(kParametersKey, "Domain");
        config.hostName = value(kParametersKey, "HostName");
        config.nameServers = nameServerFacts(value(kParametersKey, "NameServer"));
    }
    // A line shows a value's first text; the facts hold every address.
    for (std::size_t i = 0; i < config.adapters.size(); ++i) {
        AdapterConfiguration& adapter = config.adapters[i];
        const QString tcpip = tcpipKey(keys[qsizetype(i)]);
        auto addresses = [&](const char* name) {
            return addressList(
                access.registryTexts(tcpip, QString::fromLatin1(name), kLocalMachine));
        };
        adapter.gateways = addresses("DefaultGateway");
        adapter.ipAddresses = addresses("IPAddress");
        adapter.subnetMasks = addresses("SubnetMask");
    }
    return config;
}

QStringList BuildNetworkReport(const clsRegistryAccess& access) {
    QStringList keys;
    return readLines(access, keys).lines;
}

} // namespace ombrix
