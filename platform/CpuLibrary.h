#pragma once

namespace ombrix::platform {

// The processor library's three functions. Each buffer holds 255 characters
// plus a terminating zero. The real library is loaded on the first call; a
// missing library or function throws PlatformError.
class CpuLibrary {
public:
    virtual ~CpuLibrary() = default;
    virtual void GetProcessor(char* model, char* vendor, char* extra) = 0;
    virtual void GetProcessorRawSpeed(char* speed) = 0;
    virtual void GetProcessorNormSpeed(char* speed) = 0;
};

} // namespace ombrix::platform
