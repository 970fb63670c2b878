#pragma once
#include "platform/CpuLibrary.h"
#include "platform/MemoryStatus.h"
#include "platform/VersionInfo.h"

#include <QString>

#include <array>

namespace ombrix {

// The memory, version and processor functions the main window calls, and the
// one version record they share.
class modCPUInfo {
public:
    static constexpr int kBufferChars = 255;
    // 255 characters, each zero, plus the terminating zero byte.
    using Buffer = std::array<char, kBufferChars + 1>;

    modCPUInfo(platform::MemoryStatusProvider& memory, platform::VersionQuery& version,
               platform::CpuLibrary& cpu)
        : m_memory(memory), m_version(version), m_cpu(cpu) {}

    // Fills the record; a system that cannot tell leaves it as it was and
    // answers false.
    bool GlobalMemoryStatus(platform::MemoryStatus& status) const;
    bool GetVersionExA() { return m_version.GetVersionExA(osVersion); }
    void GetProcessor(Buffer& model, Buffer& vendor, Buffer& extra) {
        m_cpu.GetProcessor(model.data(), vendor.data(), extra.data());
    }
    void GetProcessorRawSpeed(Buffer& speed) { m_cpu.GetProcessorRawSpeed(speed.data()); }
    void GetProcessorNormSpeed(Buffer& speed) { m_cpu.GetProcessorNormSpeed(speed.data()); }

    static Buffer zeroBuffer() { return Buffer{}; }
    // The buffer taken back as text of 255 characters, zeros included.
    static QString bufferText(const Buffer& buffer);

    platform::OSVERSIONINFOA osVersion;

private:
    platform::MemoryStatusProvider& m_memory;
    platform::VersionQuery& m_version;
    platform::CpuLibrary& m_cpu;
};

} // namespace ombrix
