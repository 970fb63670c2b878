#pragma once
#include "platform/remote/RemoteMachine.h"
#include "program/Windows.h"

#include <QString>

#include <functional>

namespace ombrix {
namespace platform {
class Dispatch;
struct LinuxMachine;
} // namespace platform

namespace program {

// The services of this computer's windows.
WindowServices windowServices(platform::LinuxMachine& machine, platform::Dispatch& printerInstall,
                              std::function<void()> endProgram);

// Another computer whose windows the program opens in place of this one's:
// its facts read once, whole, when it is named, and its readings refreshed
// later, over the link this machine keeps to it; its services over them. The windows'
// counters and links stay this machine's.
class OtherComputer {
public:
    // Blocks while it reads (the collector's time-outs bound it). Throws
    // PlatformError with a one-line reason when the computer cannot be
    // reached or does not answer. local must outlive this.
    OtherComputer(platform::LinuxMachine& local, const QString& computer);
    ~OtherComputer();
    OtherComputer(const OtherComputer&) = delete;
    OtherComputer& operator=(const OtherComputer&) = delete;

    platform::RemoteMachine& machine() { return m_machine; }
    // The services of its windows.
    WindowServices windowServices(platform::Dispatch& printerInstall,
                                  std::function<void()> endProgram);

private:
    platform::LinuxMachine& m_local;
    platform::RemoteMachine m_machine;
    platform::RemoteReadings m_readings;
};

// The line that tells why the computer named could not be shown.
QString unreachableLine(const QString& computer, const QString& reason);

} // namespace program
} // namespace ombrix
