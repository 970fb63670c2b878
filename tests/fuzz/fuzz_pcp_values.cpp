// libFuzzer target over what another computer's collector answers: the bytes
// become descriptors of the metrics our counters read (any type and units)
// and two fetches' results (value sets in place and behind pointers of every
// type, odd and negative counts, any instance ids, value blocks of any length
// and type tag), as libpcp hands them over after checking only the message's
// lengths. They go through the mapping to readings and counter values, and
// to the computer's facts. Any crash or sanitizer report is a find; nothing
// touches the network.
#include "platform/pcp/PcpCounterMap.h"
#include "platform/pcp/PcpFacts.h"
#include "platform/pcp/PcpMapping.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

using namespace ombrix::platform;
using namespace ombrix::platform::pcp;

namespace {

// Every metric name a counter or a remote fact reads.
const std::vector<std::string>& metricNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all = connectionMetrics();
        all.insert(all.end(), processMetrics().begin(), processMetrics().end());
        return all;
    }();
    return names;
}

// One answer of a collector, owning its memory as pmFetch's would be owned.
struct Answer {
    std::vector<std::vector<std::uint64_t>> storage; // value sets and value blocks
    std::vector<std::uint64_t> resultStorage;
    pmResult* result = nullptr;

    template <class T> T* allocate(std::size_t bytes) {
        storage.emplace_back((bytes + 7) / 8 + 1, 0);
        return reinterpret_cast<T*>(storage.back().data());
    }
};

std::unique_ptr<Answer> decodeResult(FuzzedDataProvider& in, const Metrics& metrics) {
    auto answer = std::make_unique<Answer>();
    const int numpmid = in.ConsumeIntegralInRange(0, static_cast<int>(metrics.size()) + 1);
    answer->resultStorage.assign((sizeof(pmResult) + numpmid * sizeof(pmValueSet*)) / 8 + 1, 0);
    answer->result = reinterpret_cast<pmResult*>(answer->resultStorage.data());
    answer->result->numpmid = numpmid;
    for (int i = 0; i < numpmid; ++i) {
        // Negative: libpcp's error code for the whole metric.
        const int numval = in.ConsumeIntegralInRange(-25, 12);
        auto* set = answer->allocate<pmValueSet>(sizeof(pmValueSet) +
                                                 std::max(numval, 1) * sizeof(pmValue));
        set->pmid = in.ConsumeIntegralInRange<pmID>(0, static_cast<pmID>(metrics.size()));
        set->numval = numval;
        set->valfmt = in.ConsumeBool() ? PM_VAL_INSITU : PM_VAL_DPTR;
        for (int j = 0; j < numval; ++j) {
            pmValue& value = set->vlist[j];
            value.inst =
                in.ConsumeBool() ? in.ConsumeIntegralInRange(-1, 3) : in.ConsumeIntegral<int>();
            if (set->valfmt == PM_VAL_INSITU) {
                value.value.lval = in.ConsumeIntegral<int>();
                continue;
            }
            const std::string bytes = in.ConsumeRandomLengthString(64);
            auto* block = answer->allocate<pmValueBlock>(PM_VAL_HDR_SIZE + bytes.size() + 1);
            block->vtype = in.ConsumeIntegralInRange(0, 16);
            block->vlen = PM_VAL_HDR_SIZE + bytes.size();
            std::copy(bytes.begin(), bytes.end(), block->vbuf);
            value.value.pval = block;
        }
        answer->result->vset[i] = set;
    }
    return answer;
}

Metrics decodeMetrics(FuzzedDataProvider& in) {
    Metrics metrics;
    const int count = in.ConsumeIntegralInRange(1, 12);
    for (int i = 0; i < count; ++i) {
        pmDesc desc{};
        desc.pmid = static_cast<pmID>(i + 1);
        desc.type = in.PickValueInArray({PM_TYPE_32, PM_TYPE_U32, PM_TYPE_64, PM_TYPE_U64,
                                         PM_TYPE_FLOAT, PM_TYPE_DOUBLE, PM_TYPE_STRING,
                                         PM_TYPE_AGGREGATE, PM_TYPE_EVENT, 42});
        desc.indom = in.ConsumeBool() ? PM_INDOM_NULL : 1;
        desc.sem = PM_SEM_COUNTER;
        const auto units = in.ConsumeIntegral<std::uint32_t>();
        static_assert(sizeof(desc.units) == sizeof(units));
        std::memcpy(&desc.units, &units, sizeof units);
        const auto& names = metricNames();
        metrics[names[in.ConsumeIntegralInRange<std::size_t>(0, names.size() - 1)]] = desc;
    }
    return metrics;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const Metrics metrics = decodeMetrics(in);
    const auto first = decodeResult(in, metrics);
    const auto second = decodeResult(in, metrics);
    const Values before = fetchedValues(*first->result, metrics);
    const Values after = fetchedValues(*second->result, metrics);

    CounterInfo info;
    info.kind = in.PickValueInArray({CounterKind::Gauge, CounterKind::Rate, CounterKind::Fraction});
    const double seconds = in.ConsumeFloatingPoint<double>();
    for (const CounterMap& map : counterMaps()) {
        const auto total = [&](const Values& values) { return totalReading(map, metrics, values); };
        (void)counterValue(info, total(before), 0, total(after), seconds);
        for (const auto& [metric, instances] : after)
            for (const auto& [instance, unused] : instances)
                (void)counterValue(info, instanceReading(map, instance, before), 0,
                                   instanceReading(map, instance, after), seconds);
    }

    // The computer's names and texts, as a window would get them.
    (void)collectorText(in.ConsumeRandomLengthString(4096).c_str());

    // The computer's facts from the first answer, with instance names as
    // its collector would list them.
    InstanceNames names;
    const int named = in.ConsumeIntegralInRange(0, 8);
    for (int i = 0; i < named; ++i)
        names[1][in.ConsumeIntegralInRange(-1, 3)] = in.ConsumeRandomLengthString(300);
    (void)remoteFacts(*first->result, metrics, names, {true, true, true});
    return 0;
}
