#pragma once
#include "platform/MemoryStatus.h"

struct FakeMemoryStatus final : ombrix::platform::MemoryStatusProvider {
    std::optional<ombrix::platform::MemoryStatus> next; // what query() answers
    mutable int calls = 0;
    std::optional<ombrix::platform::MemoryStatus> query() const override {
        ++calls;
        return next;
    }
};
