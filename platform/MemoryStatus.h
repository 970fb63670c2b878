#pragma once
#include <cstdint>
#include <optional>

namespace ombrix::platform {

struct MemoryStatus {
    std::uint64_t totalPhysBytes = 0;
    std::uint64_t availPhysBytes = 0;
};

class MemoryStatusProvider {
public:
    virtual ~MemoryStatusProvider() = default;
    virtual std::optional<MemoryStatus> query() const = 0; // nullopt: the system cannot tell
};

} // namespace ombrix::platform
