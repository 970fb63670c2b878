#pragma once
#include "platform/MemoryStatus.h"

#include <QByteArrayView>
#include <QString>

namespace ombrix::platform {

// Physical memory from /proc/meminfo.
class LinuxMemoryStatus final : public MemoryStatusProvider {
public:
    explicit LinuxMemoryStatus(QString path = QStringLiteral("/proc/meminfo"));
    std::optional<MemoryStatus> query() const override;

private:
    QString m_path;
};

// MemTotal and MemAvailable in bytes. Kernels before 3.14 have no
// MemAvailable; there it is MemFree + Buffers + Cached, as free(1) counted it.
// A last line without its line end may be cut short and is not used.
std::optional<MemoryStatus> parseMeminfo(QByteArrayView text);

} // namespace ombrix::platform
