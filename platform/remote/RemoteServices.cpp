#include "platform/remote/RemoteServices.h"

#include "platform/DriveLocations.h"
#include "platform/common/VersionRecord.h"

#include <QPointer>
#include <QTimeZone>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace ombrix::platform {
namespace {

// The first version number in a text, as "12" or "12.8": digits and dotted
// groups of digits, standing apart from letters, digits and "_" on either
// side; where the whole dotted run does not, the longest part of it that does.
QString versionNumberIn(const QString& text) {
    const auto word = [&](qsizetype at) {
        const char16_t c = text[at].unicode();
        return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
               c == u'_';
    };
    const auto digit = [&](qsizetype at) {
        return at < text.size() && text[at] >= u'0' && text[at] <= u'9';
    };
    for (qsizetype start = 0; start < text.size(); ++start) {
        if (!digit(start) || (start > 0 && word(start - 1)))
            continue;
        qsizetype end = start, best = -1;
        while (digit(end))
            ++end;
        for (;;) {
            if (end == text.size() || !word(end))
                best = end;
            if (end + 1 < text.size() && text[end] == u'.' && digit(end + 1)) {
                ++end;
                while (digit(end))
                    ++end;
            } else {
                break;
            }
        }
        if (best > start)
            return text.mid(start, best - start);
    }
    return {};
}

// Into one of the processor library's buffers: 255 bytes and a zero, never
// cutting a character in two.
void copyOut(char* buffer, const QString& text) {
    constexpr qsizetype kMost = 255;
    const QByteArray bytes = text.toUtf8();
    qsizetype n = std::min(bytes.size(), kMost);
    while (n > 0 && n < bytes.size() && (static_cast<unsigned char>(bytes[n]) & 0xC0) == 0x80)
        --n;
    std::memcpy(buffer, bytes.constData(), static_cast<std::size_t>(n));
    buffer[n] = '\0';
}

std::optional<KernelVersion> kernelOf(const RemoteSummary& summary) {
    if (!summary.kernelRelease)
        return std::nullopt;
    return parseKernelRelease(summary.kernelRelease->toStdString(),
                              summary.kernelVersion.value_or(QString()).toStdString());
}

// The volumes a user would call drives, where this computer's drive table
// would letter them: the one at "/" first, then the others in the
// collector's order, none in the system's own folders.
std::vector<const RemoteVolume*> driveVolumes(const std::vector<RemoteVolume>& volumes) {
    std::vector<const RemoteVolume*> drives;
    for (const RemoteVolume& volume : volumes)
        if (volume.mountPoint == QLatin1String("/")) {
            drives.push_back(&volume);
            break;
        }
    for (const RemoteVolume& volume : volumes)
        if (volume.mountPoint != QLatin1String("/") &&
            isDriveLocation(volume.mountPoint.toUtf8(), volume.inMemory))
            drives.push_back(&volume);
    return drives;
}

class RemoteDrive final : public DriveObject {
public:
    RemoteDrive(QChar letter, RemoteVolume volume)
        : m_letter(letter), m_volume(std::move(volume)) {}
    int DriveType() const override { return m_volume.type.value_or(m_volume.inMemory ? 5 : 2); }
    QString DriveLetter() const override { return m_letter; }
    IfReady<std::int32_t> SerialNumber() const override {
        return m_volume.serial ? IfReady<std::int32_t>(*m_volume.serial) : NotReady;
    }
    IfReady<std::uint64_t> AvailableSpace() const override { return m_volume.availableBytes; }
    IfReady<std::uint64_t> TotalSize() const override { return m_volume.totalBytes; }
    QString MountPoint() const override { return m_volume.mountPoint; }

private:
    QChar m_letter;
    RemoteVolume m_volume;
};

class RemoteFileSystemObject final : public FileSystemObject {
public:
    explicit RemoteFileSystemObject(const std::vector<RemoteVolume>& volumes) {
        // The collector agent's drives keep the letters that computer gives them.
        if (!volumes.empty() && !volumes.front().letter.isNull()) {
            for (const RemoteVolume& volume : volumes)
                m_drives.emplace_back(volume.letter, volume);
            return;
        }
        const std::vector<const RemoteVolume*> drives = driveVolumes(volumes);
        char16_t letter = u'C';
        for (const RemoteVolume* volume : drives)
            if (letter <= u'Z')
                m_drives.emplace_back(QChar(letter++), *volume);
        m_withoutLetter = int(drives.size() - m_drives.size());
    }
    // That computer has no current folder of this program's: its root stands.
    QString GetAbsolutePathName(const QString& path) const override {
        if (path.size() >= 2 && path[0].isLetter() && path[1] == u':')
            return path;
        return QStringLiteral("C:\\") + path;
    }
    QString GetDriveName(const QString& path) const override {
        return path.size() >= 2 && path[0].isLetter() && path[1] == u':' ? path.left(2) : QString();
    }
    std::unique_ptr<DriveObject> GetDrive(const QString& driveName) const override {
        if (driveName.isEmpty() || driveName.size() > 3 ||
            (driveName.size() > 1 && driveName[1] != u':'))
            return nullptr;
        for (const auto& [letter, volume] : m_drives)
            if (letter == driveName[0].toUpper())
                return std::make_unique<RemoteDrive>(letter, volume);
        return nullptr;
    }
    QStringList DriveLetters() const override {
        QStringList letters;
        for (const auto& drive : m_drives)
            letters << QString(drive.first);
        return letters;
    }
    int VolumesWithoutLetter() const override { return m_withoutLetter; }

private:
    std::vector<std::pair<QChar, RemoteVolume>> m_drives;
    int m_withoutLetter = 0;
};

} // namespace

RemoteSnapshot::RemoteSnapshot(QString computer, RemoteFacts facts)
    : m_computer(std::move(computer)),
      m_facts(std::make_shared<const RemoteFacts>(std::move(facts))) {}

std::shared_ptr<const RemoteFacts> RemoteSnapshot::facts() const {
    const std::lock_guard lock(m_mutex);
    return m_facts;
}

void RemoteSnapshot::update(RemoteFacts fresh) {
    if (!fresh.reachable)
        return;
    const std::shared_ptr<const RemoteFacts> last = facts();
    if (!fresh.adapters) {
        fresh.adapters = last->adapters;
        fresh.resolver = last->resolver;
    }
    if (!fresh.volumes)
        fresh.volumes = last->volumes;
    if (!fresh.printers)
        fresh.printers = last->printers;
    if (fresh.address.isEmpty())
        fresh.address = last->address;
    auto replacement = std::make_shared<const RemoteFacts>(std::move(fresh));
    const std::lock_guard lock(m_mutex);
    m_facts = std::move(replacement);
}

std::optional<QString> RemoteSnapshot::ownName() const {
    const auto name = facts()->summary.nodeName;
    return name && !name->isEmpty() ? name : std::nullopt;
}

std::optional<MemoryStatus> RemoteMemory::query() const {
    const auto facts = m_snapshot.facts();
    const RemoteSummary& summary = facts->summary;
    if (!summary.totalMemory || !summary.availableMemory)
        return std::nullopt;
    return MemoryStatus{*summary.totalMemory, *summary.availableMemory};
}

NotCarried RemoteMemory::notCarried() const {
    // The summary reads both figures together, as the window does.
    if (query())
        return {};
    return {QStringLiteral("summary.total_mb"), QStringLiteral("summary.available_mb")};
}

bool RemoteVersionQuery::GetVersionExA(OSVERSIONINFOA& record) const {
    const auto facts = m_snapshot.facts();
    const RemoteSummary& summary = facts->summary;
    const auto kernel = kernelOf(summary);
    if (record.dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) || !kernel)
        return false;
    record = linuxVersionRecord(
        record.dwOSVersionInfoSize, *kernel,
        summary.osName.value_or(summary.distribution.value_or(QStringLiteral("Linux"))));
    return true;
}

NotCarried RemoteVersionQuery::notCarried() const {
    if (kernelOf(m_snapshot.facts()->summary))
        return {};
    return {QStringLiteral("summary.os_platform")};
}

QString RemoteSystemInfo::osVersion() const {
    const auto facts = m_snapshot.facts();
    const RemoteSummary& summary = facts->summary;
    if (summary.osVersion)
        return *summary.osVersion;
    if (summary.distribution)
        if (QString number = versionNumberIn(*summary.distribution); !number.isEmpty())
            return number;
    if (const auto kernel = kernelOf(summary))
        return QStringLiteral("%1.%2").arg(kernel->major).arg(kernel->minor);
    return {};
}

long long RemoteSystemInfo::osBuild() const {
    const auto facts = m_snapshot.facts();
    if (facts->summary.osBuild)
        return *facts->summary.osBuild;
    const auto kernel = kernelOf(facts->summary);
    return kernel ? kernel->patch : 0;
}

NotCarried RemoteSystemInfo::notCarried() const {
    NotCarried keys;
    if (osVersion().isEmpty())
        keys << QStringLiteral("summary.os_version");
    const auto facts = m_snapshot.facts();
    if (!facts->summary.osBuild && !kernelOf(facts->summary))
        keys << QStringLiteral("summary.os_build");
    return keys;
}

void RemoteCpu::GetProcessor(char* model, char* vendor, char* extra) {
    const auto facts = m_snapshot.facts();
    const RemoteSummary& summary = facts->summary;
    copyOut(model, summary.processorModel.value_or(QString()));
    copyOut(vendor, summary.processorVendor.value_or(QString()));
    copyOut(extra, QString());
}

void RemoteCpu::GetProcessorRawSpeed(char* speed) {
    GetProcessorNormSpeed(speed);
}

void RemoteCpu::GetProcessorNormSpeed(char* speed) {
    const auto mhz = m_snapshot.facts()->summary.processorMHz;
    // The collector's clock is checked to be a plausible one.
    copyOut(speed, mhz ? QString::number(std::llround(*mhz)) : QString());
}

NotCarried RemoteCpu::notCarried() const {
    const auto facts = m_snapshot.facts();
    const RemoteSummary& summary = facts->summary;
    NotCarried keys;
    if (!summary.processorModel)
        keys << QStringLiteral("summary.processor");
    if (!summary.processorVendor)
        keys << QStringLiteral("summary.vendor");
    if (!summary.processorMHz)
        keys << QStringLiteral("summary.speed_mhz");
    return keys;
}

QString RemoteHostInfo::hostName() const {
    return m_snapshot.ownName().value_or(m_snapshot.computer());
}

QString RemoteHostInfo::ipAddress() const {
    const auto facts = m_snapshot.facts();
    return facts->summary.primaryAddress.value_or(facts->address);
}

bool RemoteFloppyDrive::selectDriveA() {
    return m_snapshot.facts()->summary.floppyPresent.value_or(false);
}

NotCarried RemoteFloppyDrive::notCarried() const {
    if (m_snapshot.facts()->summary.floppyPresent)
        return {};
    return {QStringLiteral("summary.fdd_present")};
}

NotCarried RemoteHostInfo::notCarried() const {
    NotCarried keys;
    // The name as the user gave it stands in the window, never in the report.
    if (!m_snapshot.ownName())
        keys << QStringLiteral("summary.computer_name");
    if (ipAddress().isEmpty())
        keys << QStringLiteral("summary.ip_address");
    return keys;
}

QDateTime RemoteClock::now() const {
    const auto zone = m_snapshot.facts()->summary.timeZone;
    const QDateTime here = QDateTime::currentDateTime();
    if (!zone)
        return here;
    const QTimeZone there(zone->toUtf8());
    return there.isValid() ? here.toTimeZone(there) : here;
}

std::unique_ptr<FileSystemObject> RemoteFileSystem::create() const {
    const auto facts = m_snapshot.facts();
    if (!facts->volumes)
        return nullptr;
    return std::make_unique<RemoteFileSystemObject>(*facts->volumes);
}

NotCarried RemoteFileSystem::notCarried() const {
    const auto facts = m_snapshot.facts();
    if (!facts->volumes)
        return {QStringLiteral("drives")};
    const auto& volumes = *facts->volumes;
    // A figure is missing where the collector gave it for none of the volumes.
    const auto noneHas = [&](auto figure) {
        return !volumes.empty() && std::none_of(volumes.begin(), volumes.end(), figure);
    };
    NotCarried keys;
    if (noneHas([](const RemoteVolume& v) { return v.serial.has_value(); }) || volumes.empty() ||
        volumes.front().letter.isNull())
        keys << QStringLiteral("drives.serial");
    if (noneHas([](const RemoteVolume& v) { return v.totalBytes.has_value(); }))
        keys << QStringLiteral("drives.total_bytes");
    if (noneHas([](const RemoteVolume& v) { return v.availableBytes.has_value(); }))
        keys << QStringLiteral("drives.free_bytes");
    return keys;
}

PrinterList RemotePrinters::query() const {
    if (const auto facts = m_snapshot.facts(); facts->printers)
        return *facts->printers;
    PrinterList list = m_scheduler.query();
    m_unreached = !list.serviceReachable;
    return list;
}

NotCarried RemotePrinters::notCarried() const {
    if (m_unreached && !m_snapshot.facts()->printers)
        return {QStringLiteral("printers")};
    return {};
}

void RemoteReadings::watch(QObject* receiver, std::function<void()> changed) {
    if (m_link)
        m_link->watch(receiver, std::move(changed));
}

void RemoteReadings::refresh(QObject* receiver, std::function<void()> done) {
    if (!m_link) {
        done();
        return;
    }
    if (m_asking)
        return;
    m_asking = true;
    // The agent's print queues come in the same fetch, so the printers
    // window shows them as fresh as the summary.
    m_link->readFacts(
        &m_answers, FactParts{.summary = true, .network = false, .drives = false, .printers = true},
        [this, receiver = QPointer<QObject>(receiver),
         done = std::move(done)](LinkAnswer<RemoteFacts> answer) {
            m_asking = false;
            // A failed reading keeps the last facts; the link's
            // verdict tells whether the computer answers.
            if (answer.value)
                m_snapshot.update(std::move(*answer.value));
            if (receiver)
                done();
        });
}

} // namespace ombrix::platform
