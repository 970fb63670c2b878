#pragma once
#include <string>
#include <vector>

namespace ombrix::platform::pcp {

// One Performance Co-Pilot metric in a sum: its value in bytes, milliseconds,
// seconds or plain counts (whatever its dimension), times the weight.
struct Term {
    std::string metric;
    double weight = 1.0;
};

// How one of our counters follows from PCP metrics on the other computer,
// so that its raw readings mean what the /proc reader's do.
struct CounterMap {
    std::string object;  // object id
    std::string counter; // counter id
    std::vector<Term> value;
    std::vector<Term> base;       // Fraction counters: the interval's whole
    std::vector<Term> totalValue; // _Total; empty: the sum over all instances
    std::vector<Term> totalBase;
    bool averageTotal = false; // _Total is the mean over the instances
    bool hasTotal = true;      // false: the _Total instance has no value
};

// Every counter PCP can stand in for; a counter missing here, or whose
// metrics the computer lacks, is not offered for that computer.
const std::vector<CounterMap>& counterMaps();

// Instance names: PCP's per-processor "cpu0" is our "0"; others are the same.
std::string ourInstance(const std::string& object, const std::string& pcpName);
std::string pcpInstance(const std::string& object, const std::string& ourName);

} // namespace ombrix::platform::pcp
