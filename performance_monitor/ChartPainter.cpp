#include "performance_monitor/ChartPainter.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <cmath>

namespace ombrix {
namespace {

constexpr int scaleSteps = 10;

QString scaleLabel(double value) {
    return QString::number(value, 'g', 6);
}

} // namespace

void paintChart(QPainter& painter, const QRect& rect, const std::vector<ChartLine>& lines,
                const GraphSettings& graph) {
    painter.fillRect(rect, Qt::white);
    const QFontMetrics metrics = painter.fontMetrics();
    const double maximum = graph.verticalMaximum;
    const double minimum = graph.verticalMinimum;
    const double range = maximum > minimum ? maximum - minimum : 1.0;

    int labelWidth = 0;
    for (int i = 0; i <= scaleSteps; ++i)
        labelWidth = std::max(
            labelWidth, metrics.horizontalAdvance(scaleLabel(minimum + range * i / scaleSteps)));
    const int half = metrics.height() / 2;
    const QRect plot = rect.adjusted(labelWidth + 8, half, -4, -half);
    if (plot.width() < 2 || plot.height() < 2)
        return;

    // The vertical scale, with the grid where chosen.
    painter.setPen(QColor(160, 160, 160));
    for (int i = 0; i <= scaleSteps; ++i) {
        const int y =
            plot.bottom() - static_cast<int>(std::lround(plot.height() * i / double(scaleSteps)));
        if (graph.horizontalGrid && i > 0 && i < scaleSteps)
            painter.drawLine(plot.left(), y, plot.right(), y);
    }
    if (graph.verticalGrid)
        for (int i = 1; i < scaleSteps; ++i) {
            const int x =
                plot.left() + static_cast<int>(std::lround(plot.width() * i / double(scaleSteps)));
            painter.drawLine(x, plot.top(), x, plot.bottom());
        }
    painter.setPen(Qt::black);
    painter.drawRect(plot);
    for (int i = 0; i <= scaleSteps; ++i) {
        const int y =
            plot.bottom() - static_cast<int>(std::lround(plot.height() * i / double(scaleSteps)));
        painter.drawLine(plot.left() - 4, y, plot.left(), y);
        const QRect label(rect.left(), y - half, labelWidth + 2, metrics.height());
        painter.drawText(label, Qt::AlignRight | Qt::AlignVCenter,
                         scaleLabel(minimum + range * i / scaleSteps));
    }

    // The lines, newest value at the right edge; a missing value breaks the line.
    const int points = std::max(graph.points, 2);
    const double step = plot.width() / double(points - 1);
    const double top = plot.top();
    const double bottom = plot.bottom();
    // Where values lie about a pixel apart, each joint is drawn as two
    // vertical runs filled as rectangles: far cheaper than stroking thousands
    // of short steep segments, and the same pixels.
    const bool dense = step < 2.0;
    QPolygonF segment;
    std::vector<QRect> runs;
    segment.reserve(points);
    auto flush = [&](int thickness) {
        if (dense) {
            if (segment.size() == 1) {
                const QPointF p = segment.front();
                runs.emplace_back(int(p.x()), int(p.y()), thickness, thickness);
            }
            // One run per value: from halfway to the value before, to halfway
            // to the value after, as wide as the step to the next value.
            const qsizetype n = segment.size();
            for (qsizetype i = 0; n > 1 && i < n; ++i) {
                const int x = int(segment[i].x()), y = int(segment[i].y());
                int low = y, high = y, width = 1;
                if (i > 0) {
                    const int middle = (int(segment[i - 1].y()) + y) / 2;
                    low = std::min(low, middle);
                    high = std::max(high, middle);
                }
                if (i + 1 < n) {
                    const int middle = (y + int(segment[i + 1].y())) / 2;
                    low = std::min(low, middle);
                    high = std::max(high, middle);
                    width = std::max(1, int(segment[i + 1].x()) - x);
                }
                runs.emplace_back(x, low, width + thickness - 1, high - low + thickness);
            }
        } else if (segment.size() == 1) {
            painter.drawPoint(segment.front());
        } else if (segment.size() > 1) {
            painter.drawPolyline(segment);
        }
        segment.clear();
    };
    for (const auto& line : lines) {
        if (!line.history)
            continue;
        const int thickness = line.highlighted ? 2 : 1;
        painter.setPen(QPen(line.colour, thickness));
        runs.clear();
        const std::size_t size = line.history->size();
        const std::size_t count = std::min<std::size_t>(size, static_cast<std::size_t>(points));
        const std::size_t first = size - count;
        const int firstSlot = points - static_cast<int>(count);
        for (std::size_t k = 0; k < count; ++k) {
            const double value = line.history->at(first + k);
            if (!std::isfinite(value * line.scale)) {
                flush(thickness);
                continue;
            }
            const double x = plot.left() + (firstSlot + static_cast<int>(k)) * step;
            const double y = bottom - (value * line.scale - minimum) / range * (bottom - top);
            segment.append(QPointF(std::round(x), std::round(std::clamp(y, top, bottom))));
        }
        flush(thickness);
        if (!runs.empty()) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(line.colour);
            painter.drawRects(runs.data(), static_cast<int>(runs.size()));
            painter.setBrush(Qt::NoBrush);
        }
    }
}

} // namespace ombrix
