#pragma once
// The messages a pmcd has received (pmcd.pdu_in.total), read through a
// libpcp context of its own whose own messages read() leaves out: the
// difference of two reads is what the others sent between them. Agents'
// answers count too (the process agent sends one per metric it is asked
// about), unless only the clients' are asked for.
#include <QString>

#include <pcp/pmapi.h>

#include <optional>

class PmcdRequests {
public:
    explicit PmcdRequests(const QString& host) {
        m_context = pmNewContext(PM_CONTEXT_HOST, host.toLocal8Bit().constData());
        // All messages, and the agents' answers to fetches.
        const char* names[] = {"pmcd.pdu_in.total", "pmcd.pdu_in.result"};
        if (m_context < 0 || pmLookupName(2, names, m_pmids) != 2 ||
            pmLookupDescs(2, m_pmids, m_descs) != 2)
            m_context = -1;
        read(); // the first fetch also sends the instance profile
    }
    ~PmcdRequests() {
        if (m_context >= 0)
            pmDestroyContext(m_context);
    }
    PmcdRequests(const PmcdRequests&) = delete;
    PmcdRequests& operator=(const PmcdRequests&) = delete;

    // The count so far, less this object's own fetches; without the agents'
    // answers to fetches when clientsOnly.
    std::optional<double> read(bool clientsOnly = false) {
        pmResult* result = nullptr;
        if (m_context < 0 || pmUseContext(m_context) < 0 || pmFetch(2, m_pmids, &result) < 0)
            return std::nullopt;
        double counts[2] = {};
        bool ok = true;
        for (int i = 0; i < 2; ++i) {
            pmAtomValue atom{};
            const pmValueSet* set = result->vset[i];
            ok = ok && set->numval > 0 &&
                 pmExtractValue(set->valfmt, &set->vlist[0], m_descs[i].type, &atom,
                                PM_TYPE_DOUBLE) >= 0;
            counts[i] = atom.d;
        }
        pmFreeResult(result);
        if (!ok)
            return std::nullopt;
        m_reads += 1;
        return counts[0] - (clientsOnly ? counts[1] : 0) - m_reads;
    }

private:
    int m_context = -1;
    pmID m_pmids[2] = {PM_ID_NULL, PM_ID_NULL};
    pmDesc m_descs[2] = {};
    double m_reads = 0;
};
