#pragma once

namespace ombrix::platform {

// The drive list's current-drive switch, used only for drive A:.
class FloppyDrive {
public:
    virtual ~FloppyDrive() = default;
    // Throws PlatformError when drive A: is not available.
    virtual void selectDriveA() = 0;
};

} // namespace ombrix::platform
