#pragma once
#include "platform/Machine.h"
#include "platform/links/RemoteComputerLinks.h"
#include "platform/linux/LinuxCpuLibrary.h"
#include "platform/linux/LinuxFloppyDrive.h"
#include "platform/linux/LinuxHostInfo.h"
#include "platform/linux/LinuxMemoryStatus.h"
#include "platform/linux/LinuxSystemInfo.h"
#include "platform/linux/LinuxVersionQuery.h"
#include "platform/linux/counters/LinuxCounterSources.h"
#include "platform/linux/drives/LinuxFileSystem.h"
#include "platform/linux/modules/LazyPrinters.h"
#include "platform/qt/QtMessageBoxes.h"
#include "platform/qt/SystemClock.h"
#include "platform/registry/RegistryLayer.h"

#include <memory>

namespace ombrix::platform {

// Every service of this machine, made once: those its windows and report
// read (machine()), and those the program keeps whichever computer it shows
// (the counters, the links to other computers, the message boxes). The
// tests' FakeMachine is its stand-in. Nothing here reads the machine before
// it is asked, so the services may be made before the application object.
struct LinuxMachine {
    LinuxMemoryStatus memory;
    LinuxVersionQuery version;
    LinuxCpuLibrary cpu;
    LinuxHostInfo host;
    LinuxSystemInfo systemInfo;
    LinuxFloppyDrive floppy;
    SystemClock clock;
    LazyPrinters printers;
    LinuxFileSystem fileSystem;
    // This computer's counters and, through a module loaded on first use,
    // other computers'. Made before any thread starts: it sets the
    // environment the collector's library reads.
    LinuxCounterSources counterSources;
    // One link per other computer, each on its thread; they end before the
    // counter sources and the module they loaded go.
    RemoteComputerLinks remoteComputers;
    // The machine's registry, with the live network configuration mounted
    // where the network report reads it.
    std::unique_ptr<registry::RegistryLayer> registry;
    QtMessageBoxes boxes;
    LocalReadings readings;

    // errors: where an exception goes that escapes the handler of an answer
    // from another computer.
    explicit LinuxMachine(RemoteComputerLinks::ErrorSink errors = nullptr);
    ~LinuxMachine();

    // The services this computer's windows and report read.
    Machine machine();
};

} // namespace ombrix::platform
