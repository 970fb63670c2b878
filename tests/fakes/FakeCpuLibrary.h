#pragma once
#include "platform/CpuLibrary.h"
#include "platform/PlatformError.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

// Writes its texts as the real library does (at most 255 bytes and a zero);
// with `failure` set every call throws it, as a missing library would.
struct FakeCpuLibrary final : ombrix::platform::CpuLibrary {
    std::string model = "Fake Processor @ 1.00GHz";
    std::string vendor = "GenuineFake";
    std::string extra = "Family 1 Model 2 Stepping 3";
    std::string rawSpeed = "1000";
    std::string normSpeed = "1000";
    std::optional<std::string> failure;
    int processorCalls = 0;
    int rawSpeedCalls = 0;
    int normSpeedCalls = 0;

    void GetProcessor(char* m, char* v, char* e) override {
        ++processorCalls;
        check();
        put(m, model);
        put(v, vendor);
        put(e, extra);
    }
    void GetProcessorRawSpeed(char* speed) override {
        ++rawSpeedCalls;
        check();
        put(speed, rawSpeed);
    }
    void GetProcessorNormSpeed(char* speed) override {
        ++normSpeedCalls;
        check();
        put(speed, normSpeed);
    }

private:
    void check() const {
        if (failure)
            throw ombrix::platform::PlatformError(*failure);
    }
    static void put(char* buffer, const std::string& text) {
        const std::size_t n = std::min<std::size_t>(text.size(), 255);
        std::memcpy(buffer, text.data(), n);
        buffer[n] = '\0';
    }
};
