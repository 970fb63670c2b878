#pragma once
#include "main_window/Ombrix2.h"

#include "FakeClock.h"
#include "FakeCounterSources.h"
#include "FakeCpuLibrary.h"
#include "FakeDispatch.h"
#include "FakeFileSystem.h"
#include "FakeFloppyDrive.h"
#include "FakeHostInfo.h"
#include "FakeMemoryStatus.h"
#include "FakePrinters.h"
#include "FakeReadings.h"
#include "FakeSystemInfo.h"
#include "FakeVersionQuery.h"
#include "app/Handler.h"
#include "platform/Machine.h"
#include "platform/links/RemoteComputerLinks.h"
#include "platform/registry/MemoryRegistryStore.h"
#include "platform/registry/RegistryLayer.h"

#include <chrono>
#include <cstring>

// Everything the main window asks the machine, as plain state: 256 MiB total,
// 512 MiB available, an AMD EPYC at 2596 MHz, Debian 12 on kernel 6.1.115,
// host PC1 at 192.0.2.20, no drive A:, no printers, no drives, an empty
// registry, readings that answer at once; fake counters here and on other
// computers, reached through real links that try again after 20 ms.
struct FakeMachine {
    FakeMemoryStatus memory;
    FakeVersionQuery version;
    FakeCpuLibrary cpu;
    FakeHostInfo host;
    FakeSystemInfo systemInfo;
    FakeFloppyDrive floppy;
    FakeDispatch printerInstall; // the main window's printer control
    FakeClock clock;
    FakePrinters printers;
    FakeFileSystem fileSystem;
    ombrix::platform::registry::RegistryLayer registry;
    FakeReadings readings;
    FakeCounterSources counterSources;
    ombrix::platform::RemoteComputerLinks remoteComputers{
        counterSources,
        ombrix::sendToErrorSink,
        {std::chrono::milliseconds(20), std::chrono::milliseconds(200)}};
    int ends = 0; // times the program was told to end

    FakeMachine() {
        memory.next = ombrix::platform::MemoryStatus{268435456ull, 536870912ull};
        ombrix::platform::OSVERSIONINFOA record;
        record.dwPlatformId = 3;
        record.dwMajorVersion = 6;
        record.dwMinorVersion = 1;
        record.dwBuildNumber = 115;
        std::strcpy(record.szCSDVersion, "Debian GNU/Linux 12 (bookworm) ");
        version.next = record;
        cpu.model = "AMD EPYC";
        cpu.vendor = "AuthenticAMD";
        cpu.normSpeed = "2596";
        host.host = "PC1";
        host.ip = "192.0.2.20";
        systemInfo.version = "12";
        systemInfo.build = 115;
        registry.setStore(ombrix::platform::HKEY_LOCAL_MACHINE,
                          std::make_shared<ombrix::platform::registry::MemoryRegistryStore>());
    }

    ombrix::platform::Machine machine() {
        return {memory,   version,    cpu,      host,  systemInfo, floppy,
                printers, fileSystem, registry, clock, readings};
    }

    // Real services may stand in for the clock or the processor library.
    ombrix::Ombrix2::Services services(ombrix::platform::Clock* realClock = nullptr,
                                       ombrix::platform::CpuLibrary* realCpu = nullptr) {
        return {memory,
                version,
                realCpu ? *realCpu : cpu,
                host,
                systemInfo,
                floppy,
                printerInstall,
                realClock ? *realClock : clock,
                [this] { ++ends; },
                readings};
    }
};
