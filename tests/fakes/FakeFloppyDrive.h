#pragma once
#include "platform/FloppyDrive.h"
#include "platform/PlatformError.h"

struct FakeFloppyDrive final : ombrix::platform::FloppyDrive {
    bool present = false; // selectDriveA() throws when false
    int calls = 0;
    void selectDriveA() override {
        ++calls;
        if (!present)
            throw ombrix::platform::PlatformError("Device unavailable: drive A:");
    }
};
