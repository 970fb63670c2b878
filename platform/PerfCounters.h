#pragma once
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

namespace ombrix::platform {

class ComputerFacts;

// How a counter's displayed value follows from its raw readings.
enum class CounterKind {
    Gauge,   // the reading itself, times the factor (memory in use, thread count)
    Rate,    // growth of the reading per second between two samples, times the factor
    Fraction // growth of the reading over growth of its base, in percent (processor time)
};

// A counter and an object carry a stable id, the same on every computer and in
// every language; the name is what the user reads.
struct CounterInfo {
    QString id;
    QString name;
    QString explanation;
    CounterKind kind = CounterKind::Gauge;
    double factor = 1.0;
    double defaultScale = 1.0; // chart scale that brings typical values into 0..100
};

struct ObjectInfo {
    QString id;
    QString name;
    QString explanation;
    std::vector<CounterInfo> counters;
    bool hasInstances = false;
    bool hasTotal = false; // offers the "_Total" instance that sums all others
    QString unavailable;   // one sentence on why a computer's object offers no counters
};

// What one computer's counters hand a window at most: the first kMaxInstances
// instances of an object, and names and explanations cut to kMaxTextLength
// characters, whatever another computer's collector sends.
inline constexpr qsizetype kMaxInstances = 10000;
inline constexpr qsizetype kMaxTextLength = 256;

// The text cut to kMaxTextLength characters, the last an ellipsis, where it
// is longer; a character is never cut in two.
inline QString cutToMaxLength(QString text) {
    if (text.size() > kMaxTextLength) {
        text.truncate(kMaxTextLength - 1);
        if (text.back().isHighSurrogate())
            text.chop(1);
        text += QChar(0x2026);
    }
    return text;
}

inline const QString totalInstance() {
    return QStringLiteral("_Total");
}

// How many instances a whole list names, "_Total" aside.
inline qsizetype instanceCount(const QStringList& names) {
    return names.size() - (!names.isEmpty() && names.front() == totalInstance() ? 1 : 0);
}

// Names one counter by ids: object, counter, instance and the computer that
// has it (empty: this one).
struct CounterPath {
    QString object;
    QString counter;
    QString instance;
    QString computer;
    friend bool operator==(const CounterPath&, const CounterPath&) = default;
};

// One raw reading. A Rate or Fraction needs two readings of the same thing;
// when the identity changes between them (a process id taken by a new
// process) the pair gives no value.
struct RawValue {
    double value = 0;
    double base = 0;
    std::uint64_t identity = 0;
};

struct RawSample {
    double seconds = 0;                          // monotonic time of the reading
    std::vector<std::optional<RawValue>> values; // nullopt: the instance is gone or unreadable
    bool reachable = true;                       // false: the computer did not answer
};

class PerfCounters {
public:
    virtual ~PerfCounters() = default;
    // The catalogue: every object and its counters, with explanations.
    virtual const std::vector<ObjectInfo>& objects() const = 0;
    // The instances of the object (by id) that exist now, "_Total" first where
    // the object offers it. count, when given, gets how many the object has
    // ("_Total" aside), of which the list may hold the first kMaxInstances.
    virtual QStringList instances(const QString& object, qsizetype* count = nullptr) = 0;
    // Reads every path once; values line up with paths.
    virtual RawSample sample(const std::vector<CounterPath>& paths) = 0;
    // The explanation of one counter, with whatever the computer says of it
    // (another computer is asked only now, so this may block like sample()).
    virtual QString explanation(const QString& object, const QString& counter);
    // The computer's facts beside its counters, over the same connection
    // (reading them blocks and may throw PlatformError); nullptr where the
    // counters come with none, as this computer's.
    virtual ComputerFacts* facts() { return nullptr; }
};

inline const ObjectInfo* findObject(const std::vector<ObjectInfo>& objects, const QString& id) {
    for (const auto& object : objects)
        if (object.id == id)
            return &object;
    return nullptr;
}

inline const CounterInfo* findCounter(const std::vector<ObjectInfo>& objects,
                                      const CounterPath& path) {
    if (const ObjectInfo* object = findObject(objects, path.object))
        for (const auto& counter : object->counters)
            if (counter.id == path.counter)
                return &counter;
    return nullptr;
}

inline QString PerfCounters::explanation(const QString& object, const QString& counter) {
    const CounterInfo* info = findCounter(objects(), {object, counter, {}, {}});
    return info ? info->explanation : QString();
}

// The path as the user reads it: \\computer\Object(Instance)\Counter, without
// the computer for this one's and without the instance where there is none.
inline QString counterPathText(const CounterPath& path, const std::vector<ObjectInfo>& objects) {
    const ObjectInfo* object = findObject(objects, path.object);
    const CounterInfo* counter = findCounter(objects, path);
    const QString objectName = object ? object->name : path.object;
    const QString counterName = counter ? counter->name : path.counter;
    QString text = path.computer.isEmpty() ? QString() : QStringLiteral("\\\\") + path.computer;
    text += path.instance.isEmpty()
                ? QStringLiteral("\\%1\\%2").arg(objectName, counterName)
                : QStringLiteral("\\%1(%2)\\%3").arg(objectName, path.instance, counterName);
    return text;
}

// The value a counter shows for a reading and the one before it. No value
// (a gap in the chart) where it cannot be known: a first reading of a rate,
// a vanished instance, a counter that went backwards or wrapped, no time passed.
inline std::optional<double> counterValue(const CounterInfo& info,
                                          const std::optional<RawValue>& previous,
                                          double previousSeconds,
                                          const std::optional<RawValue>& current,
                                          double currentSeconds) {
    if (!current)
        return std::nullopt;
    // A reading past what a double holds (or not a number) is no value either.
    const auto finite = [](double value) {
        return std::isfinite(value) ? std::optional(value) : std::nullopt;
    };
    if (info.kind == CounterKind::Gauge)
        return finite(current->value * info.factor);
    if (!previous || previous->identity != current->identity)
        return std::nullopt;
    const double delta = current->value - previous->value;
    if (delta < 0)
        return std::nullopt;
    if (info.kind == CounterKind::Rate) {
        const double elapsed = currentSeconds - previousSeconds;
        if (!(elapsed > 0))
            return std::nullopt;
        return finite(delta / elapsed * info.factor);
    }
    const double baseDelta = current->base - previous->base;
    if (!(baseDelta > 0))
        return std::nullopt;
    // The kernel's idle and I/O-wait times can step back a little, so a fully
    // busy processor may read a hair above its base: that is 100 %. Far above
    // it the readings do not belong together.
    if (delta > baseDelta * 1.1)
        return std::nullopt;
    return finite(std::min(100.0, 100.0 * delta / baseDelta));
}

} // namespace ombrix::platform
