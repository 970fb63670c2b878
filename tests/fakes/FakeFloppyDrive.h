#pragma once
#include "platform/FloppyDrive.h"

struct FakeFloppyDrive final : ombrix::platform::FloppyDrive {
    bool present = false; // what selectDriveA() answers
    int calls = 0;
    bool selectDriveA() override {
        ++calls;
        return present;
    }
};
