#include "main_window/modCPUInfo.h"

namespace ombrix {

void modCPUInfo::GlobalMemoryStatus(platform::MemoryStatus& status) const {
    status = {};
    if (const auto queried = m_memory.query())
        status = *queried;
}

QString modCPUInfo::bufferText(const Buffer& buffer) {
    return QString::fromUtf8(buffer.data(), kBufferChars);
}

} // namespace ombrix
