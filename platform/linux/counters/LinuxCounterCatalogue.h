#pragma once
#include "platform/PerfCounters.h"

#include <vector>

namespace ombrix::platform {

// The objects and counters that /proc can give, in a fixed order: the
// enumerations below index each object's counter list.
const std::vector<ObjectInfo>& linuxCounterCatalogue();

namespace catalogue {
enum Object { Processor, Memory, PhysicalDisk, NetworkInterface, System, Process };
enum ProcessorCounter { ProcessorTime, UserTime, PrivilegedTime, Interrupts };
enum MemoryCounter { AvailableBytes, AvailableMBytes, CommittedBytes, PageFaults, Pages };
enum DiskCounter { ReadBytes, WriteBytes, Transfers, Reads, Writes, DiskTime };
enum NetworkCounter { BytesReceived, BytesSent, BytesTotal, Packets, PacketsReceived, PacketsSent };
enum SystemCounter { Processes, Threads, ContextSwitches, QueueLength, UpTime };
enum ProcessCounter { ProcessTime, WorkingSet, PrivateBytes, VirtualBytes, ThreadCount, ProcessId };
} // namespace catalogue

} // namespace ombrix::platform
