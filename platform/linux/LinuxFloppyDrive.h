#pragma once
#include "platform/FloppyDrive.h"

#include <string>

namespace ombrix::platform {

// Drive A: is the first floppy device, /dev/fd0.
class LinuxFloppyDrive final : public FloppyDrive {
public:
    explicit LinuxFloppyDrive(std::string devicePath = "/dev/fd0");
    // True when the path is a block device whose driver is present (a stale
    // node left in /dev does not count).
    bool selectDriveA() override;

private:
    std::string m_devicePath;
};

} // namespace ombrix::platform
