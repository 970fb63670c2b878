#pragma once
#include <cstdint>

namespace ombrix::platform {

// The operating-system version record, laid out as the version query fills it.
struct OSVERSIONINFOA {
    std::uint32_t dwOSVersionInfoSize = 0;
    std::uint32_t dwMajorVersion = 0;
    std::uint32_t dwMinorVersion = 0;
    std::uint32_t dwBuildNumber = 0;
    std::uint32_t dwPlatformId = 0;
    char szCSDVersion[128] = {};
};

class VersionQuery {
public:
    virtual ~VersionQuery() = default;
    // Fills the record and answers true; on failure answers false and leaves
    // the record exactly as it was.
    virtual bool GetVersionExA(OSVERSIONINFOA& record) const = 0;
};

} // namespace ombrix::platform
