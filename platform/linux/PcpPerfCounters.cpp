#include "platform/linux/PcpPerfCounters.h"

#include "platform/PlatformError.h"
#include "platform/linux/LinuxCounterCatalogue.h"
#include "platform/linux/PcpCounterMap.h"

#include <QObject>

#include <algorithm>
#include <functional>
#include <memory>
#include <set>
#include <time.h>
#include <unordered_map>

namespace ombrix::platform {
namespace {

std::string errorText(int code) {
    char buffer[PM_MAXERRMSGLEN];
    return pmErrStr_r(code, buffer, sizeof buffer);
}

struct ResultFree {
    void operator()(pmResult* result) const { pmFreeResult(result); }
};
struct CFree {
    void operator()(void* p) const { free(p); }
};

double monotonicSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Bytes, milliseconds and plain counts, whatever scale the metric has.
pmUnits canonical(pmUnits units) {
    units.scaleSpace = PM_SPACE_BYTE;
    units.scaleTime = PM_TIME_MSEC;
    units.scaleCount = PM_COUNT_ONE;
    return units;
}

const pcp::CounterMap* findMap(const QString& object, const QString& counter) {
    for (const auto& map : pcp::counterMaps())
        if (QLatin1String(map.object.c_str()) == object &&
            QLatin1String(map.counter.c_str()) == counter)
            return &map;
    return nullptr;
}

// Process instances are named by their command, which no counter reads.
const char* const kProcessCommand = "proc.psinfo.cmd";

// The values of one fetched metric, by instance id (PM_IN_NULL for a single value).
using Values = std::unordered_map<int, double>;

} // namespace

PcpPerfCounters::PcpPerfCounters(const std::string& host) {
    m_context = pmNewContext(PM_CONTEXT_HOST, host.c_str());
    if (m_context < 0)
        throw PlatformError(errorText(m_context));

    // Which of the mapped metrics this computer has, with their types and units.
    std::vector<std::string> names{kProcessCommand};
    for (const auto& map : pcp::counterMaps())
        for (const auto* terms : {&map.value, &map.base, &map.totalValue, &map.totalBase})
            for (const auto& term : *terms)
                if (std::find(names.begin(), names.end(), term.metric) == names.end())
                    names.push_back(term.metric);
    std::vector<const char*> namePointers;
    for (const auto& name : names)
        namePointers.push_back(name.c_str());
    std::vector<pmID> ids(names.size(), PM_ID_NULL);
    const int found = pmLookupName(static_cast<int>(names.size()), namePointers.data(), ids.data());
    if (found < 0 && found != PM_ERR_NAME)
        throw PlatformError(errorText(found));
    std::vector<pmDesc> descs(names.size());
    for (std::size_t i = 0; i < names.size(); ++i)
        if (ids[i] != PM_ID_NULL && pmLookupDesc(ids[i], &descs[i]) >= 0)
            m_metrics.emplace(names[i], descs[i]);

    // Our catalogue, with only the counters whose metrics are all there.
    auto present = [this](const std::vector<pcp::Term>& terms) {
        return std::all_of(terms.begin(), terms.end(),
                           [this](const pcp::Term& t) { return m_metrics.count(t.metric) > 0; });
    };
    for (const ObjectInfo& object : linuxCounterCatalogue()) {
        ObjectInfo offered = object;
        offered.explanation =
            QObject::tr("%1 of that computer, from Performance Co-Pilot.").arg(object.name);
        offered.counters.clear();
        for (const CounterInfo& counter : object.counters) {
            const pcp::CounterMap* map = findMap(object.id, counter.id);
            if (!map || !present(map->value) || !present(map->base))
                continue;
            // That computer's own words for the metrics behind the counter.
            CounterInfo mapped = counter;
            QStringList metrics;
            for (const auto& term : map->value) {
                char* help = nullptr;
                const int status =
                    pmLookupText(m_metrics.at(term.metric).pmid, PM_TEXT_ONELINE, &help);
                std::unique_ptr<char, CFree> text(status >= 0 ? help : nullptr);
                metrics << QString::fromStdString(term.metric) +
                               (text ? QStringLiteral(": ") + QString::fromUtf8(text.get())
                                     : QString());
            }
            mapped.explanation += QObject::tr(" From Performance Co-Pilot: %1.")
                                      .arg(metrics.join(QLatin1String("; ")));
            offered.counters.push_back(mapped);
        }
        if (!offered.counters.empty())
            m_objects.push_back(std::move(offered));
    }
}

PcpPerfCounters::~PcpPerfCounters() {
    if (m_context >= 0)
        pmDestroyContext(m_context);
}

void PcpPerfCounters::use() const {
    pmUseContext(m_context);
}

const std::vector<ObjectInfo>& PcpPerfCounters::objects() const {
    return m_objects;
}

QStringList PcpPerfCounters::instances(const QString& objectId) {
    QStringList names;
    const ObjectInfo* object = findObject(m_objects, objectId);
    if (!object || !object->hasInstances)
        return names;
    const pcp::CounterMap* map = findMap(objectId, object->counters.front().id);
    const pmDesc& desc = m_metrics.at(map->value.front().metric);
    use();
    const std::string id = objectId.toStdString();
    if (id == "process") {
        // Named like this computer's: the command and the process id.
        auto cmd = m_metrics.find(kProcessCommand);
        pmID pmid = cmd == m_metrics.end() ? PM_ID_NULL : cmd->second.pmid;
        pmResult* raw = nullptr;
        if (pmid == PM_ID_NULL || pmFetch(1, &pmid, &raw) < 0)
            return names;
        std::unique_ptr<pmResult, ResultFree> result(raw);
        const pmValueSet* set = result->vset[0];
        for (int i = 0; i < set->numval; ++i) {
            pmAtomValue atom{};
            if (pmExtractValue(set->valfmt, &set->vlist[i], PM_TYPE_STRING, &atom, PM_TYPE_STRING) <
                0)
                continue;
            std::unique_ptr<char, CFree> text(atom.cp);
            names << QString::fromUtf8(text.get()) + QLatin1Char('#') +
                         QString::number(set->vlist[i].inst);
        }
        std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
            return QString::compare(a, b, Qt::CaseInsensitive) < 0;
        });
    } else {
        int* instanceIds = nullptr;
        char** instanceNames = nullptr;
        const int count = pmGetInDom(desc.indom, &instanceIds, &instanceNames);
        std::unique_ptr<int, CFree> freeIds(instanceIds);
        std::unique_ptr<char*, CFree> freeNames(instanceNames);
        for (int i = 0; i < count; ++i) {
            m_instanceIds[{desc.indom, instanceNames[i]}] = instanceIds[i];
            names << QString::fromStdString(pcp::ourInstance(id, instanceNames[i]));
        }
    }
    if (object->hasTotal)
        names.prepend(totalInstance());
    return names;
}

int PcpPerfCounters::instanceId(const pmDesc& metric, const std::string& name) {
    if (metric.indom == PM_INDOM_NULL)
        return PM_IN_NULL;
    const auto key = std::make_pair(metric.indom, name);
    auto it = m_instanceIds.find(key);
    if (it != m_instanceIds.end())
        return it->second;
    const int id = pmLookupInDom(metric.indom, name.c_str());
    if (id >= 0)
        m_instanceIds.emplace(key, id);
    return id;
}

RawSample PcpPerfCounters::sample(const std::vector<CounterPath>& paths) {
    RawSample result;
    result.values.assign(paths.size(), std::nullopt);

    // Every metric the paths need, fetched together.
    std::vector<const pcp::CounterMap*> maps;
    std::vector<pmID> ids;
    std::vector<const pmDesc*> descs;
    auto need = [&](const std::vector<pcp::Term>& terms) {
        for (const auto& term : terms) {
            auto it = m_metrics.find(term.metric);
            if (it != m_metrics.end() &&
                std::find(ids.begin(), ids.end(), it->second.pmid) == ids.end()) {
                ids.push_back(it->second.pmid);
                descs.push_back(&it->second);
            }
        }
    };
    // Which instances each instance domain must bring: only those named,
    // unless a _Total sums them all (a computer has hundreds of processes).
    std::vector<int> instances(paths.size(), static_cast<int>(PM_IN_NULL));
    std::vector<bool> named(paths.size(), true); // false: the instance is not there
    std::map<pmInDom, std::vector<int>> wanted;  // empty: all
    std::set<pmInDom> all;
    use();
    if (m_lost && pmReconnectContext(m_context) < 0) {
        result.seconds = monotonicSeconds();
        result.reachable = false;
        return result;
    }
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const CounterPath& path = paths[i];
        const pcp::CounterMap* map = findMap(path.object, path.counter);
        maps.push_back(map);
        if (!map)
            continue;
        const bool total = path.instance == totalInstance();
        need(total && !map->totalValue.empty() ? map->totalValue : map->value);
        need(total && !map->totalBase.empty() ? map->totalBase : map->base);
        const pmDesc& first = m_metrics.at(map->value.front().metric);
        if (first.indom == PM_INDOM_NULL)
            continue;
        if (total) {
            if (map->totalValue.empty())
                all.insert(first.indom);
            continue;
        }
        if (path.object == QLatin1String("process")) {
            // "command#pid": the process id is the instance id.
            bool ok = false;
            instances[i] = path.instance.section(QLatin1Char('#'), -1).toInt(&ok);
            named[i] = ok && instances[i] > 0;
        } else {
            instances[i] = instanceId(
                first, pcp::pcpInstance(path.object.toStdString(), path.instance.toStdString()));
            named[i] = instances[i] >= 0;
        }
        if (named[i])
            wanted[first.indom].push_back(instances[i]);
    }
    for (pmInDom indom : all)
        wanted[indom].clear();
    for (auto& [indom, list] : wanted) {
        std::sort(list.begin(), list.end());
        list.erase(std::unique(list.begin(), list.end()), list.end());
        auto known = m_profiles.find(indom);
        if (known != m_profiles.end() && known->second == list)
            continue;
        pmDelProfile(indom, 0, nullptr);
        pmAddProfile(indom, static_cast<int>(list.size()), list.empty() ? nullptr : list.data());
        m_profiles[indom] = list;
    }
    result.seconds = monotonicSeconds();
    if (ids.empty())
        return result;
    pmResult* raw = nullptr;
    const int status = pmFetch(static_cast<int>(ids.size()), ids.data(), &raw);
    result.seconds = monotonicSeconds();
    m_lost = status < 0;
    if (status < 0) {
        result.reachable = false;
        return result;
    }
    std::unique_ptr<pmResult, ResultFree> fetched(raw);

    std::unordered_map<pmID, Values> values;
    for (int i = 0; i < fetched->numpmid; ++i) {
        const pmValueSet* set = fetched->vset[i];
        const pmDesc* desc = nullptr;
        for (std::size_t k = 0; k < ids.size(); ++k)
            if (ids[k] == set->pmid)
                desc = descs[k];
        if (!desc || set->numval <= 0)
            continue;
        const pmUnits target = canonical(desc->units);
        Values& byInstance = values[set->pmid];
        for (int j = 0; j < set->numval; ++j) {
            pmAtomValue atom{}, converted{};
            if (pmExtractValue(set->valfmt, &set->vlist[j], desc->type, &atom, PM_TYPE_DOUBLE) <
                    0 ||
                pmConvScale(PM_TYPE_DOUBLE, &atom, &desc->units, &converted, &target) < 0)
                continue;
            byInstance[set->vlist[j].inst] = converted.d;
        }
    }

    // A sum of terms for one instance; nullopt when one is missing.
    auto sumAt = [&](const std::vector<pcp::Term>& terms, int instance) -> std::optional<double> {
        double sum = 0;
        for (const auto& term : terms) {
            const Values& byInstance = values[m_metrics.at(term.metric).pmid];
            auto it = byInstance.find(instance);
            if (it == byInstance.end())
                return std::nullopt;
            sum += it->second * term.weight;
        }
        return sum;
    };
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const pcp::CounterMap* map = maps[i];
        if (!map)
            continue;
        if (paths[i].instance == totalInstance()) {
            if (!map->hasTotal)
                continue;
            if (!map->totalValue.empty()) {
                const auto value = sumAt(map->totalValue, PM_IN_NULL);
                const auto base = sumAt(map->totalBase, PM_IN_NULL);
                if (value && base)
                    result.values[i] = RawValue{*value, *base, 0};
                continue;
            }
            // The sum over every instance the computer has now; an instance
            // joining or leaving changes the identity, so the jump is a gap.
            double value = 0, base = 0;
            std::uint64_t identity = 0; // the same set in any order gives the same identity
            std::size_t count = 0;
            for (const auto& [instance, unused] :
                 values[m_metrics.at(map->value.front().metric).pmid]) {
                const auto v = sumAt(map->value, instance);
                const auto b = sumAt(map->base, instance);
                if (!v || !b)
                    continue;
                value += *v;
                base += *b;
                identity += (static_cast<std::uint64_t>(instance) + 1) * 0x9E3779B97F4A7C15ull;
                ++count;
            }
            if (count == 0)
                continue;
            if (map->averageTotal)
                value /= static_cast<double>(count);
            result.values[i] = RawValue{value, base, identity};
            continue;
        }
        if (!named[i])
            continue;
        const int instance = instances[i];
        const auto value = sumAt(map->value, instance);
        const auto base = sumAt(map->base, instance);
        if (value && base)
            result.values[i] = RawValue{*value, *base, 0};
    }
    return result;
}

} // namespace ombrix::platform
