#pragma once
#include "platform/PlatformError.h"
#include "platform/Printers.h"

#include <optional>
#include <string>

// Answers `list`; with `failure` set every query throws it.
struct FakePrinters final : ombrix::platform::Printers {
    ombrix::platform::PrinterList list;
    std::optional<std::string> failure;
    mutable int calls = 0;
    ombrix::platform::PrinterList query() const override {
        ++calls;
        if (failure)
            throw ombrix::platform::PlatformError(*failure);
        return list;
    }
};
