#pragma once
#include "platform/SystemInfo.h"

struct FakeSystemInfo final : ombrix::platform::SystemInfoProvider {
    QString version;
    long long build = 0;
    mutable int calls = 0;
    QString osVersion() const override {
        ++calls;
        return version;
    }
    long long osBuild() const override {
        ++calls;
        return build;
    }
};
