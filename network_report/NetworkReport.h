#pragma once
#include <QString>
#include <QStringList>

namespace ombrix {

class clsRegistryAccess;

// The lines of the network configuration report, read through the registry
// class from HKEY_LOCAL_MACHINE, in the order the list shows them.
QStringList BuildNetworkReport(const clsRegistryAccess& access);

// The name-server lines of the machine-wide "NameServer" value: entries
// separated by single spaces, each trimmed; the first carries the label.
QStringList NameServerLines(QString nameServers);

// The truth value of a registry text: true when it reads as a nonzero
// number (decimal, or hexadecimal behind "&H"). Empty and non-numeric texts
// read as false, like a value that is not there.
bool ReadsAsTrue(const QString& text);

} // namespace ombrix
