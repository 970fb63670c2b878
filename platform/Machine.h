#pragma once
#include <functional>

class QObject;

namespace ombrix::platform {

class Clock;
class CpuLibrary;
class FileSystem;
class FloppyDrive;
class HostInfoProvider;
class MemoryStatusProvider;
class Printers;
class Registry;
class SystemInfoProvider;
class VersionQuery;

// Whether a computer answers, and its readings (memory, speed) taken again
// on request. Used from the user-interface thread.
class ComputerReadings {
public:
    virtual ~ComputerReadings() = default;
    // False while the computer does not answer: its services keep the last
    // readings they gave.
    virtual bool answering() const = 0;
    // Calls changed() each time answering() changes; a receiver's second
    // call replaces its first.
    virtual void watch(QObject* receiver, std::function<void()> changed) = 0;
    // Takes the readings again. done() runs on the user-interface thread once
    // the services give the fresh figures, or the computer did not answer and
    // they keep the last; never once receiver is gone. While a reading is out
    // no other is asked, and done() is not called for the one skipped.
    virtual void refresh(QObject* receiver, std::function<void()> done) = 0;
};

// This computer's readings: its services read it afresh each time they are
// asked, so a refresh is done at once, and it always answers.
class LocalReadings final : public ComputerReadings {
public:
    bool answering() const override { return true; }
    void watch(QObject* /*receiver*/, std::function<void()> /*changed*/) override {}
    void refresh(QObject* /*receiver*/, std::function<void()> done) override { done(); }
};

// The services one computer gives the windows and the report: this
// computer's (LinuxMachine), another's over what its collector tells
// (RemoteMachine), or the tests' fakes (FakeMachine). What it refers to is
// owned by the machine that made it, and lives as long.
struct Machine {
    MemoryStatusProvider& memory;
    VersionQuery& version;
    CpuLibrary& cpu;
    HostInfoProvider& host;
    SystemInfoProvider& systemInfo;
    FloppyDrive& floppy;
    Printers& printers;
    FileSystem& fileSystem;
    Registry& registry;
    Clock& clock;
    ComputerReadings& readings;
};

} // namespace ombrix::platform
