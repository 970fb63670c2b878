#include "platform/linux/LinuxFloppyDrive.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace ombrix::platform {

LinuxFloppyDrive::LinuxFloppyDrive(std::string devicePath) : m_devicePath(std::move(devicePath)) {}

bool LinuxFloppyDrive::selectDriveA() {
    struct stat info {};
    const bool isBlock = ::stat(m_devicePath.c_str(), &info) == 0 && S_ISBLK(info.st_mode);
    const std::string sysfs = "/sys/dev/block/" + std::to_string(major(info.st_rdev)) + ":" +
                              std::to_string(minor(info.st_rdev));
    return isBlock && ::access(sysfs.c_str(), F_OK) == 0;
}

} // namespace ombrix::platform
