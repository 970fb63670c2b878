#include "performance_monitor/MonitorSettings.h"

#include <array>
#include <cmath>

namespace ombrix {

QColor defaultCounterColour(std::size_t index) {
    static const std::array<QColor, 12> colours = {
        QColor(255, 0, 0),   QColor(0, 128, 0),   QColor(0, 0, 255),   QColor(192, 128, 0),
        QColor(255, 0, 255), QColor(0, 160, 160), QColor(128, 0, 0),   QColor(0, 0, 0),
        QColor(128, 0, 128), QColor(0, 0, 128),   QColor(128, 128, 0), QColor(96, 96, 96)};
    return colours[index % colours.size()];
}

std::vector<double> counterScales() {
    std::vector<double> scales;
    for (int exponent = -7; exponent <= 6; ++exponent)
        scales.push_back(std::pow(10.0, exponent));
    return scales;
}

} // namespace ombrix
