#pragma once
#include "platform/MemoryStatus.h"

#include <QString>

#include <string>

namespace ombrix::platform {

// Physical memory from /proc/meminfo (proc::parseMeminfo, which the
// performance monitor's Memory counters read too).
class LinuxMemoryStatus final : public MemoryStatusProvider {
public:
    explicit LinuxMemoryStatus(QString path = QStringLiteral("/proc/meminfo"));
    std::optional<MemoryStatus> query() const override;

private:
    std::string m_path;
};

} // namespace ombrix::platform
