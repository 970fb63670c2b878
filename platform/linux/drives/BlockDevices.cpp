#include "platform/linux/drives/BlockDevices.h"

#include "platform/linux/KernelFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace ombrix::platform {
namespace {

QByteArray readSmall(const QString& path) {
    const std::optional<std::string> text =
        readKernelFile(QFile::encodeName(path).toStdString(), 256);
    return text ? QByteArray::fromStdString(*text).trimmed() : QByteArray();
}

} // namespace

std::vector<BlockDevice> readBlockDevices(const QString& sysRoot) {
    std::vector<BlockDevice> devices;
    const QDir classDir(sysRoot + QStringLiteral("/class/block"));
    const QStringList names = classDir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System);
    for (const QString& name : names) {
        const QString link = classDir.filePath(name);
        const QString real = QFileInfo(link).canonicalFilePath();
        BlockDevice device;
        device.name = name;
        const QByteArray dev = readSmall(link + QStringLiteral("/dev"));
        const qsizetype colon = dev.indexOf(':');
        if (colon <= 0)
            continue;
        device.dev = DevNum{dev.first(colon).toUInt(), dev.sliced(colon + 1).toUInt()};
        device.partition = QFileInfo::exists(link + QStringLiteral("/partition"));
        // A partition's removable flag and medium belong to its disk, one folder up.
        const QString disk = device.partition && !real.isEmpty() ? QFileInfo(real).absolutePath()
                                                                 : (real.isEmpty() ? link : real);
        device.removable = readSmall(disk + QStringLiteral("/removable")) == "1";
        device.usb = real.contains(QStringLiteral("/usb"));
        device.optical = device.dev.major == 11 || name.startsWith(QStringLiteral("sr"));
        device.ram =
            name.startsWith(QStringLiteral("ram")) || name.startsWith(QStringLiteral("zram"));
        const QByteArray size = readSmall(disk + QStringLiteral("/size"));
        device.hasMedium = !size.isEmpty() && size != "0";
        devices.push_back(device);
    }
    std::sort(devices.begin(), devices.end(),
              [](const BlockDevice& a, const BlockDevice& b) { return a.name < b.name; });
    return devices;
}

} // namespace ombrix::platform
