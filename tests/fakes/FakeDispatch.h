#pragma once
#include "platform/Dispatch.h"

#include <QList>

// A hosted control that records the methods called on it.
struct FakeDispatch final : ombrix::platform::Dispatch {
    QList<int> calls;
    QVariant call(int dispid, const QVariantList& = {}) override {
        calls.append(dispid);
        return {};
    }
};
