#include "platform/pcp/PcpPerfCounters.h"

#include "platform/PlatformError.h"
#include "platform/linux/counters/LinuxCounterCatalogue.h"
#include "platform/pcp/PcpComputerFacts.h"
#include "platform/pcp/PcpContext.h"
#include "platform/pcp/PcpCounterMap.h"

#include <QObject>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <set>

namespace ombrix::platform {
namespace {

struct ResultFree {
    void operator()(pmResult* result) const { pmFreeResult(result); }
};
struct CFree {
    void operator()(void* p) const { free(p); }
};

const pcp::CounterMap* findMap(const QString& object, const QString& counter) {
    for (const auto& map : pcp::counterMaps())
        if (QLatin1String(map.object.c_str()) == object &&
            QLatin1String(map.counter.c_str()) == counter)
            return &map;
    return nullptr;
}

// The catalogue's explanation, then the metrics behind the counter, the
// first with that computer's own words for it where they are known.
QString withMetrics(const QString& explanation, const pcp::CounterMap& map, const QString& help) {
    QStringList metrics;
    for (const auto& term : map.value)
        metrics << QString::fromStdString(term.metric);
    if (!help.isEmpty())
        metrics.front() += QStringLiteral(" (%1)").arg(help);
    return explanation +
           QObject::tr(" From Performance Co-Pilot: %1.").arg(metrics.join(QLatin1String(", ")));
}

using pcp::kProcessCommand;
using pcp::kProcessId;

} // namespace

bool PcpPerfCounters::knowProcessMetrics() {
    if (m_processMetricsKnown)
        return true;
    const int status = m_connection.lookUp(pcp::processMetrics());
    m_connection.note(status);
    m_processMetricsKnown = status == 0;
    return m_processMetricsKnown;
}

PcpPerfCounters::PcpPerfCounters(const std::string& host) : m_connection(host) {
    // Which of the table's metrics this computer has, the counters' and the
    // facts', with their types and units, in one request for the names and
    // one for the descriptors; the Process object's wait until it is used.
    if (const int status = m_connection.lookUp(pcp::connectionMetrics()); status < 0)
        throw PlatformError(pcp::requestFailure(status).toStdString());
    m_facts.emplace(m_connection, true);

    // A collector may keep processes from clients it has not authenticated;
    // asking for the name of process 1 tells, in one request.
    const auto processId = metrics().find(kProcessId);
    QString processesRefused;
    if (processId != metrics().end()) {
        char* name = nullptr;
        const int status = pmNameInDom(processId->second.indom, 1, &name);
        std::unique_ptr<char, CFree> free(status >= 0 ? name : nullptr);
        processesRefused = pcp::processRefusal(status);
    }

    // Our catalogue, with only the counters whose metrics are all there
    // (for processes: whose agent is there).
    for (const ObjectInfo& object : linuxCounterCatalogue()) {
        ObjectInfo offered = object;
        offered.explanation =
            QObject::tr("%1 of that computer, from Performance Co-Pilot.").arg(object.name);
        offered.counters.clear();
        const bool processes = object.id == QLatin1String("process");
        if (processes && !processesRefused.isEmpty()) {
            offered.unavailable = processesRefused;
            m_objects.push_back(std::move(offered));
            continue;
        }
        for (const CounterInfo& counter : object.counters) {
            const pcp::CounterMap* map = findMap(object.id, counter.id);
            if (!map || (processes ? processId == metrics().end()
                                   : !pcp::hasAll(map->value, metrics()) ||
                                         !pcp::hasAll(map->base, metrics())))
                continue;
            CounterInfo mapped = counter;
            mapped.explanation = withMetrics(counter.explanation, *map, {});
            offered.counters.push_back(mapped);
        }
        if (!offered.counters.empty())
            m_objects.push_back(std::move(offered));
    }
    // A collector without any of them still tells the computer's facts.
    if (std::none_of(m_objects.begin(), m_objects.end(),
                     [](const ObjectInfo& object) { return !object.counters.empty(); })) {
        m_objects.clear();
        for (const ObjectInfo& object : linuxCounterCatalogue()) {
            ObjectInfo offered{object.id, object.name, {}, {}, false, false, {}};
            offered.unavailable =
                QObject::tr("Its collector offers none of the counters this program reads.");
            m_objects.push_back(std::move(offered));
        }
    }
}

const std::vector<ObjectInfo>& PcpPerfCounters::objects() const {
    return m_objects;
}

QStringList PcpPerfCounters::instances(const QString& objectId, qsizetype* count) {
    QStringList names;
    if (count)
        *count = 0;
    const ObjectInfo* object = findObject(m_objects, objectId);
    if (!object || !object->hasInstances || object->counters.empty())
        return names;
    if (!m_connection.use())
        return names;
    const std::string id = objectId.toStdString();
    if (id == "process") {
        // Named like this computer's: the command and the process id.
        if (!knowProcessMetrics())
            return names;
        const auto cmd = metrics().find(kProcessCommand);
        if (cmd == metrics().end())
            return names;
        m_connection.restrictTo(cmd->second.indom, {});
        pmID pmid = cmd->second.pmid;
        pmResult* raw = nullptr;
        const int status = pmFetch(1, &pmid, &raw);
        if (status < 0) {
            m_connection.note(status);
            return names;
        }
        std::unique_ptr<pmResult, ResultFree> result(raw);
        const pmValueSet* set = result->vset[0];
        if (count)
            *count = std::max(set->numval, 0);
        for (int i = 0; i < std::min(set->numval, static_cast<int>(kMaxInstances)); ++i) {
            pmAtomValue atom{};
            if (pmExtractValue(set->valfmt, &set->vlist[i], PM_TYPE_STRING, &atom, PM_TYPE_STRING) <
                0)
                continue;
            std::unique_ptr<char, CFree> text(atom.cp);
            names << pcp::collectorText(text.get()) + QLatin1Char('#') +
                         QString::number(set->vlist[i].inst);
        }
        std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
            return QString::compare(a, b, Qt::CaseInsensitive) < 0;
        });
    } else {
        const pcp::CounterMap* map = findMap(objectId, object->counters.front().id);
        const pmDesc& desc = metrics().at(map->value.front().metric); // offered: it is there
        for (const std::string& name : listInstances(desc.indom, count))
            names << QString::fromStdString(pcp::ourInstance(id, name));
    }
    if (object->hasTotal)
        names.prepend(totalInstance());
    return names;
}

std::vector<std::string> PcpPerfCounters::listInstances(pmInDom indom, qsizetype* count) {
    std::vector<std::string> names;
    int* instanceIds = nullptr;
    char** instanceNames = nullptr;
    const int found = pmGetInDom(indom, &instanceIds, &instanceNames);
    m_connection.note(found);
    std::unique_ptr<int, CFree> freeIds(instanceIds);
    std::unique_ptr<char*, CFree> freeNames(instanceNames);
    if (count)
        *count = std::max(found, 0);
    if (found < 0)
        return names;
    for (auto it = m_instanceIds.lower_bound({indom, {}});
         it != m_instanceIds.end() && it->first.first == indom;)
        it = m_instanceIds.erase(it);
    for (int i = 0; i < std::min(found, static_cast<int>(kMaxInstances)); ++i) {
        std::string name = pcp::collectorText(instanceNames[i]).toStdString();
        if (m_instanceIds.emplace(std::pair{indom, name}, instanceIds[i]).second)
            names.push_back(std::move(name));
    }
    return names;
}

int PcpPerfCounters::instanceId(pmInDom indom, const std::string& name, std::set<pmInDom>& listed) {
    auto it = m_instanceIds.find({indom, name});
    // An instance not seen before: the domain's list asked again, once a sample.
    if (it == m_instanceIds.end() && listed.insert(indom).second) {
        listInstances(indom);
        it = m_instanceIds.find({indom, name});
    }
    return it == m_instanceIds.end() ? -1 : it->second;
}

QString PcpPerfCounters::explanation(const QString& objectId, const QString& counterId) {
    const CounterInfo* counter = findCounter(m_objects, {objectId, counterId, {}, {}});
    const pcp::CounterMap* map = findMap(objectId, counterId);
    if (!counter || !map)
        return counter ? counter->explanation : QString();
    const std::string& first = map->value.front().metric;
    auto help = m_help.find(first);
    if (help == m_help.end()) {
        if (objectId == QLatin1String("process") && !knowProcessMetrics())
            return counter->explanation;
        const auto metric = metrics().find(first);
        if (metric == metrics().end())
            return counter->explanation;
        if (!m_connection.use())
            return counter->explanation;
        char* text = nullptr;
        const int status = pmLookupText(metric->second.pmid, PM_TEXT_ONELINE, &text);
        std::unique_ptr<char, CFree> free(status >= 0 ? text : nullptr);
        if (status < 0 && status != PM_ERR_TEXT) {
            m_connection.note(status);
            return counter->explanation; // asked again next time
        }
        help = m_help.emplace(first, free ? pcp::collectorText(free.get()) : QString()).first;
    }
    const CounterInfo* local = findCounter(linuxCounterCatalogue(), {objectId, counterId, {}, {}});
    return withMetrics(local ? local->explanation : QString(), *map, help->second);
}

ComputerFacts* PcpPerfCounters::facts() {
    return &*m_facts;
}

RawSample PcpPerfCounters::sample(const std::vector<CounterPath>& paths) {
    RawSample result;
    result.values.assign(paths.size(), std::nullopt);
    if (!m_connection.use()) {
        result.seconds = monotonicSeconds();
        result.reachable = false;
        return result;
    }

    // Every metric the paths need, fetched together, and which instances
    // each instance domain must bring: only those named, unless a _Total
    // sums them all (a computer has hundreds of processes).
    std::vector<pmID> ids;
    auto need = [&](const std::vector<pcp::Term>& terms) {
        for (const auto& term : terms) {
            const auto it = metrics().find(term.metric);
            if (it != metrics().end() &&
                std::find(ids.begin(), ids.end(), it->second.pmid) == ids.end())
                ids.push_back(it->second.pmid);
        }
    };
    if (std::any_of(
            paths.begin(), paths.end(),
            [](const CounterPath& path) { return path.object == QLatin1String("process"); }) &&
        !knowProcessMetrics() && m_connection.lost()) {
        result.seconds = monotonicSeconds();
        result.reachable = false;
        return result;
    }
    std::vector<const pcp::CounterMap*> maps(paths.size(), nullptr); // null: no value
    std::vector<int> instances(paths.size(), static_cast<int>(PM_IN_NULL));
    std::map<pmInDom, std::vector<int>> wanted; // empty: all
    std::set<pmInDom> all, listed;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const CounterPath& path = paths[i];
        const pcp::CounterMap* map = findMap(path.object, path.counter);
        // A counter this computer does not offer or lacks metrics for has no value.
        if (!map || !findCounter(m_objects, path))
            continue;
        if (path.instance == totalInstance()) {
            if (!map->hasTotal)
                continue;
            if (pcp::hasOwnTotal(*map, metrics())) {
                need(map->totalValue);
                need(map->totalBase);
            } else if (pcp::hasAll(map->value, metrics()) && pcp::hasAll(map->base, metrics())) {
                need(map->value);
                need(map->base);
                const pmDesc& first = metrics().at(map->value.front().metric);
                if (first.indom != PM_INDOM_NULL)
                    all.insert(first.indom);
            } else {
                continue;
            }
            maps[i] = map;
            continue;
        }
        if (!pcp::hasAll(map->value, metrics()) || !pcp::hasAll(map->base, metrics()))
            continue;
        const pmDesc& first = metrics().at(map->value.front().metric);
        if (first.indom != PM_INDOM_NULL) {
            if (path.object == QLatin1String("process")) {
                // "command#pid": the process id is the instance id.
                bool ok = false;
                instances[i] = path.instance.section(QLatin1Char('#'), -1).toInt(&ok);
                if (!ok || instances[i] <= 0)
                    continue;
            } else {
                instances[i] = instanceId(
                    first.indom,
                    pcp::pcpInstance(path.object.toStdString(), path.instance.toStdString()),
                    listed);
                if (instances[i] < 0)
                    continue;
            }
            wanted[first.indom].push_back(instances[i]);
        }
        need(map->value);
        need(map->base);
        maps[i] = map;
    }
    for (pmInDom indom : all)
        wanted[indom].clear();
    for (auto& [indom, list] : wanted)
        m_connection.restrictTo(indom, std::move(list));
    result.seconds = monotonicSeconds();
    if (ids.empty())
        return result;
    pmResult* raw = nullptr;
    const int status = pmFetch(static_cast<int>(ids.size()), ids.data(), &raw);
    result.seconds = monotonicSeconds();
    if (status < 0) {
        m_connection.lose();
        result.reachable = false;
        return result;
    }
    std::unique_ptr<pmResult, ResultFree> fetched(raw);
    const pcp::Values values = pcp::fetchedValues(*fetched, metrics());
    for (std::size_t i = 0; i < paths.size(); ++i)
        if (maps[i])
            result.values[i] = paths[i].instance == totalInstance()
                                   ? pcp::totalReading(*maps[i], metrics(), values)
                                   : pcp::instanceReading(*maps[i], instances[i], values);
    return result;
}

} // namespace ombrix::platform
