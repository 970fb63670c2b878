#include "platform/pcp/PcpMapping.h"

#include <QObject>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include <netdb.h>

namespace ombrix::platform::pcp {
namespace {

// The weighted sum of the terms at one instance; nullopt when one is missing.
std::optional<double> sumAt(const std::vector<Term>& terms, int instance, const Values& values) {
    double sum = 0;
    for (const auto& term : terms) {
        const auto metric = values.find(term.metric);
        if (metric == values.end())
            return std::nullopt;
        const auto value = metric->second.find(instance);
        if (value == metric->second.end())
            return std::nullopt;
        sum += value->second * term.weight;
    }
    return sum;
}

std::string libpcpText(int code) {
    char buffer[PM_MAXERRMSGLEN];
    return pmErrStr_r(code, buffer, sizeof buffer);
}

} // namespace

std::optional<double> canonicalFactor(const pmUnits& units) {
    static const double milliseconds[] = {1e-6, 1e-3, 1, 1e3, 6e4, 3.6e6}; // PM_TIME_NSEC..HOUR
    if ((units.dimSpace != 0 && units.scaleSpace > PM_SPACE_EBYTE) ||
        (units.dimTime != 0 && units.scaleTime > PM_TIME_HOUR))
        return std::nullopt;
    return std::pow(1024.0, units.dimSpace * static_cast<int>(units.scaleSpace)) *
           std::pow(units.dimTime != 0 ? milliseconds[units.scaleTime] : 1.0, units.dimTime) *
           std::pow(10.0, units.dimCount * units.scaleCount);
}

Values fetchedValues(const pmResult& result, const Metrics& metrics) {
    std::unordered_map<pmID, const Metrics::value_type*> byId;
    for (const auto& metric : metrics)
        byId.emplace(metric.second.pmid, &metric);
    Values values;
    for (int i = 0; i < result.numpmid; ++i) {
        const pmValueSet* set = result.vset[i];
        const auto found = byId.find(set->pmid);
        // A negative count is the computer's refusal of the whole metric.
        if (found == byId.end() || set->numval <= 0)
            continue;
        const auto& [name, desc] = *found->second;
        const std::optional<double> factor = canonicalFactor(desc.units);
        if (!factor)
            continue;
        auto& byInstance = values[name];
        for (int j = 0; j < set->numval; ++j) {
            pmAtomValue atom{};
            if (pmExtractValue(set->valfmt, &set->vlist[j], desc.type, &atom, PM_TYPE_DOUBLE) < 0)
                continue;
            const double value = atom.d * *factor;
            if (std::isfinite(value))
                byInstance[set->vlist[j].inst] = value;
        }
    }
    return values;
}

QString collectorText(const char* text) {
    // At most four bytes a character: only what can be shown is decoded.
    QString decoded = QString::fromUtf8(
        text, text ? static_cast<qsizetype>(strnlen(text, 4 * kMaxTextLength + 4)) : 0);
    for (QChar& c : decoded)
        if (c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line ||
            c.category() == QChar::Separator_Paragraph)
            c = QChar::ReplacementCharacter;
    return cutToMaxLength(std::move(decoded));
}

bool hasAll(const std::vector<Term>& terms, const Metrics& metrics) {
    return std::all_of(terms.begin(), terms.end(),
                       [&](const Term& term) { return metrics.count(term.metric) > 0; });
}

std::optional<RawValue> instanceReading(const CounterMap& map, int instance, const Values& values) {
    const auto value = sumAt(map.value, instance, values);
    const auto base = sumAt(map.base, instance, values);
    if (!value || !base)
        return std::nullopt;
    return RawValue{*value, *base, 0};
}

bool hasOwnTotal(const CounterMap& map, const Metrics& metrics) {
    return !map.totalValue.empty() && hasAll(map.totalValue, metrics) &&
           hasAll(map.totalBase, metrics);
}

std::optional<RawValue> totalReading(const CounterMap& map, const Metrics& metrics,
                                     const Values& values) {
    if (!map.hasTotal)
        return std::nullopt;
    if (hasOwnTotal(map, metrics)) {
        const auto value = sumAt(map.totalValue, PM_IN_NULL, values);
        const auto base = sumAt(map.totalBase, PM_IN_NULL, values);
        if (!value || !base)
            return std::nullopt;
        return RawValue{*value, *base, 0};
    }
    const auto first = values.find(map.value.front().metric);
    if (first == values.end())
        return std::nullopt;
    double value = 0, base = 0;
    std::uint64_t identity = 0; // the same set in any order gives the same identity
    std::size_t count = 0;
    for (const auto& [instance, unused] : first->second) {
        const auto reading = instanceReading(map, instance, values);
        if (!reading)
            continue;
        value += reading->value;
        base += reading->base;
        identity += (static_cast<std::uint64_t>(instance) + 1) * 0x9E3779B97F4A7C15ull;
        ++count;
    }
    if (count == 0)
        return std::nullopt;
    if (map.averageTotal)
        value /= static_cast<double>(count);
    return RawValue{value, base, identity};
}

QString connectFailure(int code, double seconds, double connectWait, int lookup, int own,
                       const HostPort& where) {
    const bool noRoute = own == EHOSTUNREACH || own == ENETUNREACH;
    if (code == -ECONNREFUSED && noRoute && !waitedInVain(code, seconds, connectWait))
        return QObject::tr("no route leads to it");
    if (code == -EHOSTUNREACH) {
        if (lookup == EAI_NONAME || lookup == EAI_NODATA || lookup == EAI_FAIL)
            return QObject::tr("no computer of that name is known");
        if (lookup == EAI_AGAIN)
            return QObject::tr("its name could not be looked up, as no name server answered");
        return QObject::tr("no route leads to it");
    }
    if (code != PM_ERR_TIMEOUT && waitedInVain(code, seconds, connectWait))
        return QObject::tr("it did not answer within %1 seconds (the connection timed out)")
            .arg(std::lround(seconds));
    if (code == -ECONNREFUSED)
        return QObject::tr("it refused the connection (no collector listens at port %1 there)")
            .arg(where.port);
    return requestFailure(code);
}

bool waitedInVain(int code, double seconds, double connectWait) {
    // A refusal comes back within one round trip; libpcp reports a
    // connection that got no answer in its whole wait as refused too.
    return (code == -ECONNREFUSED && seconds >= 0.9 * connectWait) || code == -ETIMEDOUT ||
           code == PM_ERR_TIMEOUT;
}

bool connectionLost(int code) {
    return code == PM_ERR_IPC || code == PM_ERR_TIMEOUT || code == -ECONNRESET || code == -EPIPE ||
           code == -ECONNREFUSED || code == -ENOTCONN;
}

QString requestFailure(int code) {
    if (code == PM_ERR_TIMEOUT)
        return QObject::tr("its collector stopped answering (the request timed out)");
    if (code == PM_ERR_PERMISSION || code == -EACCES || code == -EPERM)
        return QObject::tr("its collector does not give this computer its values");
    if (code == -ECONNRESET || code == -EPIPE || code == PM_ERR_IPC)
        return QObject::tr("its collector closed the connection");
    return QString::fromStdString(libpcpText(code));
}

QString processRefusal(int code) {
    if (code != PM_ERR_PERMISSION)
        return {};
    return QObject::tr(
        "The collector on that computer gives process values only to authenticated clients; its "
        "owner can let it answer others by adding the -A option to the proc agent's line in "
        "/etc/pcp/pmcd/pmcd.conf.");
}

} // namespace ombrix::platform::pcp
