#pragma once
#include "platform/ComputerFacts.h"
#include "platform/PerfCounters.h"
#include "platform/PlatformError.h"

#include <QString>

#include <memory>

namespace ombrix::platform {

// Where counters come from: this computer, and any other that runs a
// collector the program can reach.
class CounterSources {
public:
    virtual ~CounterSources() = default;
    virtual PerfCounters& local() = 0;
    // The counters of another computer, named "host" or "host:port". Blocks
    // while it connects, so call it off the user-interface thread; the
    // counters it returns block in the same way. Throws PlatformError with a
    // one-line reason when the computer cannot be reached.
    virtual std::unique_ptr<PerfCounters> connect(const QString& computer) = 0;
    // Makes ready, on the calling thread, what reading other computers
    // needs, before threads of its own read them: the library behind them
    // writes the environment on first use, and no other thread may read the
    // environment meanwhile. Call it where no other thread runs code that
    // does. Throws PlatformError where that library cannot be loaded.
    virtual void prepare() {}
    // The facts of another computer alone, over a connection of their own,
    // without its counters' catalogue (the report, which keeps no link);
    // blocks and throws like connect().
    virtual std::unique_ptr<ComputerFacts> connectFacts(const QString& computer) {
        throw PlatformError("no facts of " + computer.toStdString() + " can be read");
    }
};

} // namespace ombrix::platform
