#include "main_window/modCPUInfo.h"

namespace ombrix {

bool modCPUInfo::GlobalMemoryStatus(platform::MemoryStatus& status) const {
    const auto queried = m_memory.query();
    if (queried)
        status = *queried;
    return queried.has_value();
}

QString modCPUInfo::bufferText(const Buffer& buffer) {
    return QString::fromUtf8(buffer.data(), kBufferChars);
}

} // namespace ombrix
