#pragma once
// How libpcp's answers become the program's: fetched values become the raw
// readings of our counters, and libpcp's error codes become reasons a user
// can act on. Plain functions over libpcp's structures, without a context,
// so that recorded answers can be fed to them.
#include "platform/HostPort.h"
#include "platform/PerfCounters.h"
#include "platform/pcp/PcpCounterMap.h"

#include <pcp/pmapi.h>

#include <QString>

#include <map>
#include <optional>
#include <string>
#include <unordered_map>

namespace ombrix::platform::pcp {

// The metrics a computer has, by name, with their descriptors.
using Metrics = std::map<std::string, pmDesc>;

// One fetch's values in bytes, milliseconds and plain counts, whatever scale
// each metric has: by metric name, then by instance (PM_IN_NULL for a
// metric with a single value). A metric the computer would not give, or an
// instance without a value, is absent.
using Values = std::map<std::string, std::unordered_map<int, double>>;

// A value past what a double holds (NaN, an infinity) is absent too.
Values fetchedValues(const pmResult& result, const Metrics& metrics);

// What turns a value in these units into bytes, milliseconds and plain
// counts; nullopt for a scale that has no meaning. Worked out here rather
// than by pmConvScale, whose integer arithmetic divides by zero (SIGFPE) for
// some units a collector may send, such as minutes to the power -6.
std::optional<double> canonicalFactor(const pmUnits& units);

// A name or text the computer gave, as a window may show it: decoded as
// UTF-8 (what is not becomes U+FFFD), control characters and line
// separators as U+FFFD, and cut to kMaxTextLength characters, the last an
// ellipsis, however long it was.
QString collectorText(const char* text);

// Whether the computer has every metric of the terms.
bool hasAll(const std::vector<Term>& terms, const Metrics& metrics);

// The reading of one instance (PM_IN_NULL where the counter has none);
// nullopt when a term has no value.
std::optional<RawValue> instanceReading(const CounterMap& map, int instance, const Values& values);

// Whether the computer has the metrics of the counter's own _Total; if not,
// _Total sums every instance.
bool hasOwnTotal(const CounterMap& map, const Metrics& metrics);

// The reading of _Total: the computer's own total where it has its metrics,
// else the sum (or mean) over every instance that has all the terms, whose
// identity changes when an instance joins or leaves.
std::optional<RawValue> totalReading(const CounterMap& map, const Metrics& metrics,
                                     const Values& values);

// Why no context could be made, from pmNewContext's code, how long the
// attempt took and the longest that libpcp waits for a connection.
// libpcp reports a name it cannot resolve as unreachable, and a connection
// that got no answer as refused; lookup (getaddrinfo's status for the host,
// 0 when it has addresses) and the time taken tell these apart. libpcp
// reports a host or network without a route as refused too: own is the
// error a connection of our own got after such a refusal (0 for none).
QString connectFailure(int code, double seconds, double connectWait, int lookup, int own,
                       const HostPort& where);

// Whether a connection that failed so waited in vain for an answer, rather
// than failing at once (refused, no route, a name no one knows).
bool waitedInVain(int code, double seconds, double connectWait);

// Whether a failed request lost the connection, which the next sample then
// makes again.
bool connectionLost(int code);

// Why a request to a connected computer failed.
QString requestFailure(int code);

// Why that computer's Process object offers no counters, when its collector
// answers a process question with code; empty when it gave the answer.
QString processRefusal(int code);

} // namespace ombrix::platform::pcp
