#pragma once
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>

namespace ombrix::platform {

// What a drive tells when it is ready. A drive that is not ready (no medium,
// or a volume that does not answer in time) is an expected outcome: the
// answer is NotReady.
template <class T> using IfReady = std::optional<T>;
inline constexpr std::nullopt_t NotReady = std::nullopt;

// One drive of the file-system object. The letter and type are known without
// touching the volume; the serial number and the sizes are read afresh on
// every call.
class DriveObject {
public:
    virtual ~DriveObject() = default;
    // 0 unknown, 1 removable, 2 hard disk, 3 network, 4 CD-ROM, 5 RAM disc.
    virtual int DriveType() const = 0;
    // The drive's letter, without colon.
    virtual QString DriveLetter() const = 0;
    // Throws PlatformError when the drive is ready but where its serial
    // number is kept did not answer.
    virtual IfReady<std::int32_t> SerialNumber() const = 0;
    // Free bytes available to the user.
    virtual IfReady<std::uint64_t> AvailableSpace() const = 0;
    virtual IfReady<std::uint64_t> TotalSize() const = 0;
    // Where the volume is mounted; empty for a drive without medium.
    virtual QString MountPoint() const = 0;
};

// The file-system object: resolves paths to drive names and drive names to
// drives, with the drive table as it stands when the object is made.
class FileSystemObject {
public:
    virtual ~FileSystemObject() = default;
    // The path made absolute; a path without a drive letter is taken relative
    // to the current directory.
    virtual QString GetAbsolutePathName(const QString& path) const = 0;
    // The drive part of a path ("C:"), or the empty text when it has none.
    virtual QString GetDriveName(const QString& path) const = 0;
    // nullptr when there is no such drive.
    virtual std::unique_ptr<DriveObject> GetDrive(const QString& driveName) const = 0;
    // The letter of every drive, in alphabetical order.
    virtual QStringList DriveLetters() const = 0;
    // How many mounted volumes have no letter: there are only A: to Z:.
    virtual int VolumesWithoutLetter() const = 0;
};

// Makes a new file-system object for every report; nothing is shared between
// the objects it makes.
class FileSystem {
public:
    virtual ~FileSystem() = default;
    // nullptr when no object can be made (the mount table cannot be read).
    virtual std::unique_ptr<FileSystemObject> create() const = 0;
};

} // namespace ombrix::platform
