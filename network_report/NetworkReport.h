#pragma once
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace ombrix {

class clsRegistryAccess;

// One adapter of the report, from the values its lines show.
struct AdapterConfiguration {
    QString name;
    // Every address of the value whose first text the line shows.
    QStringList ipAddresses;
    QStringList subnetMasks;
    QStringList gateways;
    std::optional<bool> dhcp; // none: the configuration does not say
    QString primaryWins;
    QString backupWins;
};

// The report's lines, and the facts they show.
struct NetworkConfiguration {
    QStringList lines;
    QString domain;
    QString hostName;
    QStringList nameServers; // the non-empty name-server entries
    std::vector<AdapterConfiguration> adapters;
};

// Reads the machine's TCP/IP configuration through the registry class from
// HKEY_LOCAL_MACHINE: the report's lines, each value just before its line is
// added, then what the lines leave out: the machine-wide values where there
// are no adapters, every address of a value that holds several.
NetworkConfiguration ReadNetworkConfiguration(const clsRegistryAccess& access);

// The lines of the network configuration report, in the order the list
// shows them; nothing is read but what they show.
QStringList BuildNetworkReport(const clsRegistryAccess& access);

// The entries of the machine-wide "NameServer" value: separated by single
// spaces, each trimmed; two spaces in a row make an empty entry.
QStringList NameServerEntries(QString nameServers);
// The name-server lines of those entries; the first carries the label.
QStringList NameServerLines(const QString& nameServers);

// The name an adapter's key stands for, as the report shows it: escaped
// bytes read back, and each sequence that is not UTF-8 shown as U+FFFD.
QString AdapterName(const QString& keyName);

// The truth value of a registry text: true when it reads as a nonzero
// number (decimal, or hexadecimal behind "&H"). Empty and non-numeric texts
// read as false, like a value that is not there.
bool ReadsAsTrue(const QString& text);

} // namespace ombrix
