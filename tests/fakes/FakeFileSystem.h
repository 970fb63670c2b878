#pragma once
#include "platform/FileSystem.h"
#include "platform/PlatformError.h"

#include "FakeGate.h"

#include <QMap>
#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// A file system of made-up drives. An unset fact reads as "not ready"; a
// serial number with a failure set throws it.
struct FakeDriveFacts {
    int type = 2;
    std::optional<std::int32_t> serial;
    std::optional<std::uint64_t> available;
    std::optional<std::uint64_t> total;
    std::optional<std::string> serialFailure = {};
};

// A drive that hangs holds the reader of its serial number at its gate, and
// reads as not ready when the 2 s bound passes first.
using FakeHungDrives = QMap<QChar, std::shared_ptr<FakeGate>>;

class FakeDriveObject final : public ombrix::platform::DriveObject {
public:
    FakeDriveObject(QChar letter, FakeDriveFacts facts, std::shared_ptr<FakeGate> hangs,
                    QString mountPoint)
        : m_letter(letter), m_facts(facts), m_hangs(std::move(hangs)),
          m_mountPoint(std::move(mountPoint)) {}
    int DriveType() const override { return m_facts.type; }
    QString DriveLetter() const override { return QString(m_letter); }
    std::optional<std::int32_t> SerialNumber() const override {
        if (m_hangs && !m_hangs->pass(std::chrono::seconds(2)))
            return ombrix::platform::NotReady;
        if (m_facts.serialFailure)
            throw ombrix::platform::PlatformError(*m_facts.serialFailure);
        return m_facts.serial;
    }
    std::optional<std::uint64_t> AvailableSpace() const override { return m_facts.available; }
    std::optional<std::uint64_t> TotalSize() const override { return m_facts.total; }
    QString MountPoint() const override { return m_mountPoint; }

private:
    QChar m_letter;
    FakeDriveFacts m_facts;
    std::shared_ptr<FakeGate> m_hangs;
    QString m_mountPoint;
};

class FakeFileSystemObject final : public ombrix::platform::FileSystemObject {
public:
    FakeFileSystemObject(QMap<QChar, FakeDriveFacts> drives, FakeHungDrives hung,
                         QMap<QChar, QString> mountPoints, QChar currentDrive, int withoutLetter)
        : m_drives(std::move(drives)), m_hung(std::move(hung)),
          m_mountPoints(std::move(mountPoints)), m_current(currentDrive),
          m_withoutLetter(withoutLetter) {}
    QString GetAbsolutePathName(const QString& path) const override {
        if (path.size() >= 2 && path[1] == u':' && path[0].unicode() < 128 && path[0].isLetter())
            return path;
        return QString(m_current) + QStringLiteral(":\\work\\") + path;
    }
    QString GetDriveName(const QString& path) const override {
        return path.size() >= 2 && path[1] == u':' ? path.left(2) : QString();
    }
    std::unique_ptr<ombrix::platform::DriveObject> GetDrive(const QString& name) const override {
        const QChar letter = name.isEmpty() ? QChar() : name[0].toUpper();
        auto it = m_drives.constFind(letter);
        if (it == m_drives.constEnd())
            return nullptr;
        return std::make_unique<FakeDriveObject>(letter, *it, m_hung.value(letter),
                                                 m_mountPoints.value(letter));
    }
    QStringList DriveLetters() const override {
        QStringList letters;
        for (QChar letter : m_drives.keys())
            letters << QString(letter);
        return letters;
    }
    int VolumesWithoutLetter() const override { return m_withoutLetter; }

private:
    QMap<QChar, FakeDriveFacts> m_drives;
    FakeHungDrives m_hung;
    QMap<QChar, QString> m_mountPoints;
    QChar m_current;
    int m_withoutLetter;
};

struct FakeFileSystem final : ombrix::platform::FileSystem {
    QMap<QChar, FakeDriveFacts> drives; // by capital letter
    FakeHungDrives hung;
    QMap<QChar, QString> mountPoints;     // by capital letter; none: empty
    QChar currentDrive = u'C';            // the drive of the current directory
    int volumesWithoutLetter = 0;         // mounted past Z:
    bool unavailable = false;             // creating the object fails
    mutable std::atomic<int> created = 0; // reports are made on worker threads
    std::unique_ptr<ombrix::platform::FileSystemObject> create() const override {
        ++created;
        if (unavailable)
            return nullptr;
        return std::make_unique<FakeFileSystemObject>(drives, hung, mountPoints, currentDrive,
                                                      volumesWithoutLetter);
    }
};
