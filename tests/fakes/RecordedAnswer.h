#pragma once
// A collector's answer to a fetch, recorded as names, descriptors and
// values, and laid out as libpcp lays it out, for the pure functions that
// read such answers.
#include "platform/pcp/PcpMapping.h"

#include <pcp/pmapi.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// One metric of a recorded answer: its descriptor and values by instance,
// or the code the computer gave instead of values.
struct Metric {
    std::string name;
    int type;
    pmUnits units;
    pmInDom indom;
    std::vector<std::pair<int, double>> values;
    int refusal = 0;
    std::vector<std::pair<int, std::string>> texts = {}; // a string metric's values
};
using Recording = std::vector<Metric>;

// A fetch's answer laid out as libpcp lays it out: 32-bit values in place,
// wider ones in value blocks.
class Answer {
public:
    explicit Answer(const Recording& recording) {
        m_result = block(sizeof(pmResult) + recording.size() * sizeof(pmValueSet*));
        auto* result = reinterpret_cast<pmResult*>(m_result);
        result->numpmid = static_cast<int>(recording.size());
        pmID next = 1;
        for (std::size_t i = 0; i < recording.size(); ++i) {
            const Metric& metric = recording[i];
            const pmID pmid = next++;
            m_metrics[metric.name] =
                pmDesc{pmid, metric.type, metric.indom, PM_SEM_INSTANT, metric.units};
            const std::size_t count = metric.values.size() + metric.texts.size();
            auto* set =
                reinterpret_cast<pmValueSet*>(block(sizeof(pmValueSet) + count * sizeof(pmValue)));
            set->pmid = pmid;
            set->numval = metric.refusal ? metric.refusal : static_cast<int>(count);
            const bool wide = metric.type != PM_TYPE_32 && metric.type != PM_TYPE_U32 &&
                              metric.type != PM_TYPE_FLOAT;
            set->valfmt = wide ? PM_VAL_DPTR : PM_VAL_INSITU;
            for (std::size_t j = 0; j < metric.values.size(); ++j) {
                const auto [instance, value] = metric.values[j];
                pmValue& slot = set->vlist[j];
                slot.inst = metric.indom == PM_INDOM_NULL ? PM_IN_NULL : instance;
                if (metric.type == PM_TYPE_FLOAT) {
                    const auto single = static_cast<float>(value);
                    std::memcpy(&slot.value.lval, &single, sizeof single);
                    continue;
                }
                if (!wide) {
                    const auto whole = static_cast<std::uint32_t>(value);
                    std::memcpy(&slot.value.lval, &whole, sizeof whole);
                    continue;
                }
                auto* valueBlock = reinterpret_cast<pmValueBlock*>(block(PM_VAL_HDR_SIZE + 8));
                valueBlock->vtype = static_cast<unsigned>(metric.type);
                valueBlock->vlen = PM_VAL_HDR_SIZE + 8;
                if (metric.type == PM_TYPE_DOUBLE) {
                    std::memcpy(valueBlock->vbuf, &value, 8);
                } else {
                    const auto whole = static_cast<std::uint64_t>(value);
                    std::memcpy(valueBlock->vbuf, &whole, 8);
                }
                slot.value.pval = valueBlock;
            }
            for (std::size_t j = 0; j < metric.texts.size(); ++j) {
                const auto& [instance, text] = metric.texts[j];
                pmValue& slot = set->vlist[metric.values.size() + j];
                slot.inst = metric.indom == PM_INDOM_NULL ? PM_IN_NULL : instance;
                const std::size_t size = PM_VAL_HDR_SIZE + text.size() + 1;
                auto* valueBlock = reinterpret_cast<pmValueBlock*>(block(size));
                valueBlock->vtype = PM_TYPE_STRING;
                valueBlock->vlen = static_cast<unsigned>(size);
                std::memcpy(valueBlock->vbuf, text.c_str(), text.size() + 1);
                slot.value.pval = valueBlock;
            }
            result->vset[i] = set;
        }
    }
    const pmResult& result() const { return *reinterpret_cast<const pmResult*>(m_result); }
    const ombrix::platform::pcp::Metrics& metrics() const { return m_metrics; }

private:
    char* block(std::size_t size) {
        m_blocks.push_back(std::make_unique<char[]>(size));
        return m_blocks.back().get();
    }
    std::vector<std::unique_ptr<char[]>> m_blocks;
    char* m_result = nullptr;
    ombrix::platform::pcp::Metrics m_metrics;
};
