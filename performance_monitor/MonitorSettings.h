#pragma once
#include "platform/PerfCounters.h"

#include <QColor>

#include <vector>

namespace ombrix {

// One charted counter as the user chose it.
struct ChartCounter {
    platform::CounterPath path;
    QColor colour;
    double scale = 1.0; // the value is multiplied by this before it is drawn
    friend bool operator==(const ChartCounter&, const ChartCounter&) = default;
};

struct GraphSettings {
    double verticalMaximum = 100;
    double verticalMinimum = 0;
    bool horizontalGrid = false;
    bool verticalGrid = false;
    int points = 100; // samples across the chart
    friend bool operator==(const GraphSettings&, const GraphSettings&) = default;
};

// Everything the properties dialog edits.
struct MonitorSettings {
    std::vector<ChartCounter> counters;
    GraphSettings graph;
    int sampleIntervalSeconds = 1;
    bool showLegend = true;
    bool showValueBar = true;
};

// The colour the next added counter gets, cycling through a fixed set.
QColor defaultCounterColour(std::size_t index);
// The scales the data tab offers: powers of ten from 1e-7 to 1e6.
std::vector<double> counterScales();

} // namespace ombrix
