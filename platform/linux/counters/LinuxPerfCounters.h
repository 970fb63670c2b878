#pragma once
#include "platform/PerfCounters.h"

#include <string>
#include <unordered_map>

namespace ombrix::platform {

// Performance counters read from /proc (and /sys for telling disks from
// partitions and virtual devices). The roots can point at a copied tree.
class LinuxPerfCounters final : public PerfCounters {
public:
    explicit LinuxPerfCounters(std::string procRoot = "/proc", std::string sysRoot = "/sys");
    ~LinuxPerfCounters() override;

    const std::vector<ObjectInfo>& objects() const override;
    QStringList instances(const QString& object, qsizetype* count = nullptr) override;
    RawSample sample(const std::vector<CounterPath>& paths) override;

private:
    struct Snapshot;
    std::optional<RawValue> read(const CounterPath& path, Snapshot& snapshot);
    std::optional<RawValue> readProcessor(int counter, const QString& instance, Snapshot& s);
    std::optional<RawValue> readMemory(int counter, const QString& instance, Snapshot& s);
    std::optional<RawValue> readDisk(int counter, const QString& instance, Snapshot& s);
    std::optional<RawValue> readNetwork(int counter, const QString& instance, Snapshot& s);
    std::optional<RawValue> readSystem(int counter, const QString& instance, Snapshot& s);
    std::optional<RawValue> readProcess(int counter, const QString& instance, Snapshot& s);
    bool isPhysicalDisk(const std::string& name);

    std::string m_proc;
    std::string m_sys;
    std::unordered_map<std::string, bool> m_physicalDisks; // kept until instances() asks again
};

} // namespace ombrix::platform
