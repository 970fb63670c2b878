#include "platform/linux/LinuxMemoryStatus.h"

#include "platform/linux/KernelFile.h"
#include "platform/linux/counters/ProcParsers.h"

#include <QFile>

namespace ombrix::platform {

LinuxMemoryStatus::LinuxMemoryStatus(QString path)
    : m_path(QFile::encodeName(path).toStdString()) {}

std::optional<MemoryStatus> LinuxMemoryStatus::query() const {
    const std::optional<std::string> text = readKernelFile(m_path);
    if (!text)
        return std::nullopt;
    const proc::Meminfo info = proc::parseMeminfo(*text);
    if (!info.total || !info.available)
        return std::nullopt;
    return MemoryStatus{*info.total, *info.available};
}

} // namespace ombrix::platform
