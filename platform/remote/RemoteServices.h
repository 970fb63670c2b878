#pragma once
#include "platform/Clock.h"
#include "platform/ComputerFacts.h"
#include "platform/CpuLibrary.h"
#include "platform/FileSystem.h"
#include "platform/FloppyDrive.h"
#include "platform/HostInfo.h"
#include "platform/Machine.h"
#include "platform/MemoryStatus.h"
#include "platform/Printers.h"
#include "platform/RemoteComputers.h"
#include "platform/SystemInfo.h"
#include "platform/VersionInfo.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>

namespace ombrix::platform {

// Another computer's facts as its collector told them when last asked, read
// by the services below. Replaced whole as fresh facts arrive; a reading
// that did not ask for a part (or found the computer silent) keeps the last.
// The services may be asked on any thread (the drive window asks off the
// user-interface thread) while fresh facts arrive: each reader holds the
// facts it was given, which no update changes.
class RemoteSnapshot {
public:
    // computer: as the user gave it.
    RemoteSnapshot(QString computer, RemoteFacts facts);
    const QString& computer() const { return m_computer; }
    std::shared_ptr<const RemoteFacts> facts() const;
    void update(RemoteFacts fresh);
    // The computer's own name, where its collector gave one.
    std::optional<QString> ownName() const;

private:
    const QString m_computer;
    mutable std::mutex m_mutex;
    std::shared_ptr<const RemoteFacts> m_facts; // under m_mutex
};

// The summary's services over a snapshot; each keeps a reference to it.
class RemoteMemory final : public MemoryStatusProvider {
public:
    explicit RemoteMemory(const RemoteSnapshot& snapshot) : m_snapshot(snapshot) {}
    // Unknown unless the collector gave both figures.
    std::optional<MemoryStatus> query() const override;
    // Each service below names the facts it cannot give, from the same facts
    // it answers from.
    NotCarried notCarried() const;

private:
    const RemoteSnapshot& m_snapshot;
};

// The kernel's version from its release (and uname's version text, which
// may hold the patch level), the distribution's name as the service-pack
// text (os-release's, where the collector agent tells it); fails where the
// collector gave no release.
class RemoteVersionQuery final : public VersionQuery {
public:
    explicit RemoteVersionQuery(const RemoteSnapshot& snapshot) : m_snapshot(snapshot) {}
    bool GetVersionExA(OSVERSIONINFOA& record) const override;
    NotCarried notCarried() const;

private:
    const RemoteSnapshot& m_snapshot;
};

// The version and build the collector agent tells, as that computer shows
// them; without it, the version the distribution's name holds ("Debian
// GNU/Linux 12.8" gives 12.8), else the kernel's major and minor, and the
// build is the kernel's patch.
class RemoteSystemInfo final : public SystemInfoProvider {
public:
    explicit RemoteSystemInfo(const RemoteSnapshot& snapshot) : m_snapshot(snapshot) {}
    QString osVersion() const override;
    long long osBuild() const override;
    NotCarried notCarried() const;

private:
    const RemoteSnapshot& m_snapshot;
};

// The processor's model, vendor and clock as the collector gave them; the
// extra text and the current speed are not carried: the nominal one stands.
class RemoteCpu final : public CpuLibrary {
public:
    explicit RemoteCpu(const RemoteSnapshot& snapshot) : m_snapshot(snapshot) {}
    void GetProcessor(char* model, char* vendor, char* extra) override;
    void GetProcessorRawSpeed(char* speed) override;
    void GetProcessorNormSpeed(char* speed) override;
    NotCarried notCarried() const;

private:
    const RemoteSnapshot& m_snapshot;
};

// The computer's own name (else the name as given) and its address as its
// collector agent tells it, else the address the program reached it at.
class RemoteHostInfo final : public HostInfoProvider {
public:
    explicit RemoteHostInfo(const RemoteSnapshot& snapshot) : m_snapshot(snapshot) {}
    QString hostName() const override;
    QString ipAddress() const override;
    NotCarried notCarried() const;

private:
    const RemoteSnapshot& m_snapshot;
};

// Whether the computer has a floppy drive, as its collector agent tells;
// no default agent tells of one.
class RemoteFloppyDrive final : public FloppyDrive {
public:
    explicit RemoteFloppyDrive(const RemoteSnapshot& snapshot) : m_snapshot(snapshot) {}
    bool selectDriveA() override;
    NotCarried notCarried() const;

private:
    const RemoteSnapshot& m_snapshot;
};

// The time of day in the computer's time zone; this computer's where the
// collector named none Qt knows.
class RemoteClock final : public Clock {
public:
    explicit RemoteClock(const RemoteSnapshot& snapshot) : m_snapshot(snapshot) {}
    QDateTime now() const override;

private:
    const RemoteSnapshot& m_snapshot;
};

// The computer's lettered drives as its collector agent tells them; without
// it, its mounted volumes lettered by this computer's rule: C: the one at
// "/", then the others in the collector's order (its discs, then those held
// in memory), none in the system's own folders, up to Z:, without serial
// numbers.
class RemoteFileSystem final : public FileSystem {
public:
    explicit RemoteFileSystem(const RemoteSnapshot& snapshot) : m_snapshot(snapshot) {}
    std::unique_ptr<FileSystemObject> create() const override;
    NotCarried notCarried() const;

private:
    const RemoteSnapshot& m_snapshot;
};

// The print queues the collector agent told, as that computer's own printers
// window lists them; without the agent, the printers of the computer's own
// print scheduler, asked from here. One that cannot be reached from here (it
// refuses this computer, or no route leads to it) lists nothing that can be
// told from having no printers: once a question found it so, its printers
// are named as not known.
class RemotePrinters final : public Printers {
public:
    // scheduler: asks that computer's scheduler; both outlive this.
    RemotePrinters(const RemoteSnapshot& snapshot, const Printers& scheduler)
        : m_snapshot(snapshot), m_scheduler(scheduler) {}
    PrinterList query() const override;
    NotCarried notCarried() const;

private:
    const RemoteSnapshot& m_snapshot;
    const Printers& m_scheduler;
    mutable std::atomic<bool> m_unreached{false};
};

// Reads the computer's summary again over its link, which it holds, and
// puts it in the snapshot its services read, which must outlive this. The
// link's verdict says whether the computer answers. Without a link (facts
// read once, for a report) the computer answers and its facts stand as read.
class RemoteReadings final : public ComputerReadings {
public:
    RemoteReadings(std::shared_ptr<ComputerLink> link, RemoteSnapshot& snapshot)
        : m_link(std::move(link)), m_snapshot(snapshot) {}
    bool answering() const override { return !m_link || m_link->answering(); }
    void watch(QObject* receiver, std::function<void()> changed) override;
    void refresh(QObject* receiver, std::function<void()> done) override;

private:
    std::shared_ptr<ComputerLink> m_link;
    RemoteSnapshot& m_snapshot;
    QObject m_answers; // receives the link's answers as long as this lives
    bool m_asking = false;
};

} // namespace ombrix::platform
