#pragma once
#include "platform/HostInfo.h"

struct FakeHostInfo final : ombrix::platform::HostInfoProvider {
    QString host;
    QString ip;
    mutable int calls = 0;
    QString hostName() const override {
        ++calls;
        return host;
    }
    QString ipAddress() const override {
        ++calls;
        return ip;
    }
};
