#pragma once
#include "platform/VersionInfo.h"

#include <optional>

// Copies `next` into the record (keeping the caller's size field) and answers
// true; with no `next` it answers false and leaves the record alone.
struct FakeVersionQuery final : ombrix::platform::VersionQuery {
    std::optional<ombrix::platform::OSVERSIONINFOA> next;
    mutable int calls = 0;
    mutable std::uint32_t lastSizeField = 0; // the size field the caller set
    bool GetVersionExA(ombrix::platform::OSVERSIONINFOA& record) const override {
        ++calls;
        lastSizeField = record.dwOSVersionInfoSize;
        if (!next)
            return false;
        const auto size = record.dwOSVersionInfoSize;
        record = *next;
        record.dwOSVersionInfoSize = size;
        return true;
    }
};
