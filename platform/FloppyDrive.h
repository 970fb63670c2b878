#pragma once

namespace ombrix::platform {

// The drive list's current-drive switch, used only for drive A:.
class FloppyDrive {
public:
    virtual ~FloppyDrive() = default;
    // False when there is no drive A:, which most machines lack.
    virtual bool selectDriveA() = 0;
};

} // namespace ombrix::platform
