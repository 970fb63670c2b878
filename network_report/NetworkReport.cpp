#include "network_report/NetworkReport.h"

#include "platform/EscapedKeyName.h"
#include "platform/Registry.h"
#include "registry/clsRegistryAccess.h"

#include <QRegularExpression>

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

// The addresses of a value's text: a registry text may hold several,
// separated by spaces or commas.
QStringList addressList(const QString& text) {
    static const QRegularExpression separators(QStringLiteral("[ ,]+"));
    return text.split(separators, Qt::SkipEmptyParts);
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
    NetworkConfiguration config;
    QStringList& lines = config.lines;
    // Each value is read just before its line is added; a key that cannot be
    // opened gives an absent text, shown as nothing.
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
    for (const QString& entry : NameServerEntries(nameServers)) {
        if (!entry.isEmpty())
            config.nameServers << entry;
    }
    lines << kSeparator;

    for (const auto& row : *adapters) {
        if (!config.adapters.empty())
            lines << kSeparator;
        AdapterConfiguration& adapter = config.adapters.emplace_back();
        // The key is read by its name; the line shows the name it stands for.
        const QString key = row.empty() ? QString() : row[0];
        adapter.name = AdapterName(key);
        lines << QStringLiteral("Adapter Name: ") + adapter.name;
        const QString wins = kAdaptersKey + u'\\' + key;
        adapter.primaryWins = value(wins, "NameServer");
        lines << QStringLiteral("   Primary WINS Server: ") + adapter.primaryWins;
        adapter.backupWins = value(wins, "NameServerBackup");
        lines << QStringLiteral("   WINS Server Backup: ") + adapter.backupWins;
        const QString tcpip = kServicesKey + key + QStringLiteral("\\Parameters\\Tcpip");
        const QString gateways = value(tcpip, "DefaultGateway");
        adapter.gateways = addressList(gateways);
        lines << QStringLiteral("   Default Gateway(s): ") + gateways;
        adapter.dhcp = ReadsAsTrue(value(tcpip, "EnableDHCP"));
        lines << QStringLiteral("   DHCP Enabled: ") +
                     (adapter.dhcp ? QStringLiteral("True") : QStringLiteral("False"));
        const QString addresses = value(tcpip, "IPAddress");
        adapter.ipAddresses = addressList(addresses);
        lines << QStringLiteral("   IP Address: ") + addresses;
        const QString masks = value(tcpip, "SubnetMask");
        adapter.subnetMasks = addressList(masks);
        lines << QStringLiteral("   Subnet Mask(s): ") + masks;
    }
    return config;
}

QStringList BuildNetworkReport(const clsRegistryAccess& access) {
    return ReadNetworkConfiguration(access).lines;
}

} // namespace ombrix
