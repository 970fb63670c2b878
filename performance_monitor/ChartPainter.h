#pragma once
#include "performance_monitor/CounterHistory.h"
#include "performance_monitor/MonitorSettings.h"

#include <QColor>

#include <vector>

class QPainter;
class QRect;

namespace ombrix {

// What one line of the chart needs.
struct ChartLine {
    const CounterHistory* history = nullptr;
    QColor colour;
    double scale = 1.0;
    bool highlighted = false;
};

// Draws the vertical scale, the grid and the lines into rect. Kept free of
// widgets so a redraw can be measured on an offscreen image.
void paintChart(QPainter& painter, const QRect& rect, const std::vector<ChartLine>& lines,
                const GraphSettings& graph);

} // namespace ombrix
