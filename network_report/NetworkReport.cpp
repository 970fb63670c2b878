#include "network_report/NetworkReport.h"

#include "platform/Registry.h"
#include "registry/clsRegistryAccess.h"

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

} // namespace

QStringList NameServerLines(QString nameServers) {
    QStringList lines;
    auto add = [&](const QString& entry) {
        lines << (lines.isEmpty() ? QStringLiteral("Name Server(s): ") : QString(6, u' ')) +
                     trimmedSpaces(entry);
    };
    qsizetype space;
    while ((space = nameServers.indexOf(u' ')) >= 0) {
        add(nameServers.left(space));
        nameServers = nameServers.mid(space + 1);
    }
    if (!nameServers.isEmpty())
        add(nameServers);
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

QStringList BuildNetworkReport(const clsRegistryAccess& access) {
    QStringList lines;
    // Each value is read just before its line is added; a key that cannot be
    // opened gives an absent text, shown as nothing.
    auto value = [&](const QString& key, const char* name) {
        return access.GetRegistryValue(key, QString::fromLatin1(name), kLocalMachine)
            .value_or(QString());
    };

    const auto adapters = access.EnumerateRegistryKeys(kAdaptersKey, kLocalMachine);
    if (!adapters || adapters->empty()) {
        lines << QStringLiteral("No network adapters found");
        return lines;
    }

    lines << QStringLiteral("Domain: ") + value(kParametersKey, "Domain");
    lines << QStringLiteral("Host Name: ") + value(kParametersKey, "HostName");
    lines << NameServerLines(value(kParametersKey, "NameServer"));
    lines << kSeparator;

    bool first = true;
    for (const auto& row : *adapters) {
        if (!first)
            lines << kSeparator;
        first = false;
        const QString name = row.empty() ? QString() : row[0];
        lines << QStringLiteral("Adapter Name: ") + name;
        const QString wins = kAdaptersKey + u'\\' + name;
        lines << QStringLiteral("   Primary WINS Server: ") + value(wins, "NameServer");
        lines << QStringLiteral("   WINS Server Backup: ") + value(wins, "NameServerBackup");
        const QString tcpip = kServicesKey + name + QStringLiteral("\\Parameters\\Tcpip");
        lines << QStringLiteral("   Default Gateway(s): ") + value(tcpip, "DefaultGateway");
        lines << QStringLiteral("   DHCP Enabled: ") + (ReadsAsTrue(value(tcpip, "EnableDHCP"))
                                                            ? QStringLiteral("True")
                                                            : QStringLiteral("False"));
        lines << QStringLiteral("   IP Address: ") + value(tcpip, "IPAddress");
        lines << QStringLiteral("   Subnet Mask(s): ") + value(tcpip, "SubnetMask");
    }
    return lines;
}

} // namespace ombrix
