#pragma once
#include "platform/FileSystem.h"

#include <QMap>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

// A file system of made-up drives. An unset fact reads as "not ready".
struct FakeDriveFacts {
    int type = 2;
    std::optional<std::int32_t> serial;
    std::optional<std::uint64_t> available;
    std::optional<std::uint64_t> total;
};

class FakeDriveObject final : public ombrix::platform::DriveObject {
public:
    FakeDriveObject(QChar letter, FakeDriveFacts facts) : m_letter(letter), m_facts(facts) {}
    int DriveType() const override { return m_facts.type; }
    QString DriveLetter() const override { return QString(m_letter); }
    std::optional<std::int32_t> SerialNumber() const override { return m_facts.serial; }
    std::optional<std::uint64_t> AvailableSpace() const override { return m_facts.available; }
    std::optional<std::uint64_t> TotalSize() const override { return m_facts.total; }

private:
    QChar m_letter;
    FakeDriveFacts m_facts;
};

class FakeFileSystemObject final : public ombrix::platform::FileSystemObject {
public:
    FakeFileSystemObject(QMap<QChar, FakeDriveFacts> drives, QChar currentDrive)
        : m_drives(std::move(drives)), m_current(currentDrive) {}
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
        return std::make_unique<FakeDriveObject>(letter, *it);
    }

private:
    QMap<QChar, FakeDriveFacts> m_drives;
    QChar m_current;
};

struct FakeFileSystem final : ombrix::platform::FileSystem {
    QMap<QChar, FakeDriveFacts> drives; // by capital letter
    QChar currentDrive = u'C';          // the drive of the current directory
    bool unavailable = false;           // creating the object fails
    mutable int created = 0;
    std::unique_ptr<ombrix::platform::FileSystemObject> create() const override {
        ++created;
        if (unavailable)
            return nullptr;
        return std::make_unique<FakeFileSystemObject>(drives, currentDrive);
    }
};
