#include "performance_monitor/ChartPainter.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTest>

#include <cmath>
#include <limits>

using namespace ombrix;

namespace {

const QColor lineColour(255, 0, 0);

// Columns of the image where the line's colour appears at all.
std::vector<bool> columnsWithLine(const QImage& image) {
    std::vector<bool> columns(static_cast<std::size_t>(image.width()), false);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == lineColour)
                columns[static_cast<std::size_t>(x)] = true;
    return columns;
}

QImage paint(const std::vector<std::optional<double>>& values, int points, double scale = 1.0) {
    CounterHistory history(static_cast<std::size_t>(points));
    for (const auto& v : values)
        history.push(v);
    GraphSettings graph;
    graph.points = points;
    QImage image(400, 200, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    paintChart(painter, image.rect(), {{&history, lineColour, scale, false}}, graph);
    return image;
}

// Points close together and far apart across the plot's width.
void pointCounts() {
    QTest::addColumn<int>("points");
    QTest::newRow("values a pixel or so apart") << 300;
    QTest::newRow("values far apart") << 20;
}

} // namespace

class tst_ChartPainter : public QObject {
    Q_OBJECT
private slots:
    void lineIsUnbrokenAcrossValues_data();
    void lineIsUnbrokenAcrossValues();
    void missingValuesLeaveAGap_data();
    void missingValuesLeaveAGap();
    void valuesOutsideTheScaleStayInside();
    void historyKeepsTheNewestAndAveragesWhatIsThere();
};

void tst_ChartPainter::lineIsUnbrokenAcrossValues_data() {
    pointCounts();
}

void tst_ChartPainter::lineIsUnbrokenAcrossValues() {
    QFETCH(int, points);
    std::vector<std::optional<double>> values;
    for (int i = 0; i < points; ++i)
        values.push_back(i % 2 ? 90.0 : 10.0); // the steepest zigzag
    const auto columns = columnsWithLine(paint(values, points));
    const auto first = std::find(columns.begin(), columns.end(), true);
    const auto last = std::find(columns.rbegin(), columns.rend(), true).base();
    QVERIFY(first < last);
    QVERIFY(std::all_of(first, last, [](bool c) { return c; }));
    // The newest value sits at the right edge.
    QVERIFY(last - columns.begin() > 380);
}

void tst_ChartPainter::missingValuesLeaveAGap_data() {
    pointCounts();
}

void tst_ChartPainter::missingValuesLeaveAGap() {
    QFETCH(int, points);
    std::vector<std::optional<double>> values(static_cast<std::size_t>(points), 50.0);
    const int hole = points / 2;
    for (int i = hole - 2; i <= hole + 2; ++i)
        values[static_cast<std::size_t>(i)] = std::nullopt;
    values[static_cast<std::size_t>(hole + 3)] = std::numeric_limits<double>::infinity();
    const auto columns = columnsWithLine(paint(values, points));
    // The plot spans about 360 columns; the middle one falls in the hole.
    const int start =
        static_cast<int>(std::find(columns.begin(), columns.end(), true) - columns.begin());
    const int middle = start + (399 - start) * hole / (points - 1);
    QVERIFY(!columns[static_cast<std::size_t>(middle)]);
    QVERIFY(columns[static_cast<std::size_t>(start)]);
    QVERIFY(columns[395]);
}

void tst_ChartPainter::valuesOutsideTheScaleStayInside() {
    const QImage image = paint({1e12, -1e12, 1e12, 50.0}, 4, 1.0);
    // Clamped to the plot's edges, never drawn over the scale labels above or below it.
    for (int x = 0; x < image.width(); ++x) {
        QVERIFY(image.pixelColor(x, 0) != lineColour);
        QVERIFY(image.pixelColor(x, image.height() - 1) != lineColour);
    }
    const auto columns = columnsWithLine(image);
    QVERIFY(std::count(columns.begin(), columns.end(), true) > 300);
}

void tst_ChartPainter::historyKeepsTheNewestAndAveragesWhatIsThere() {
    CounterHistory history(3);
    QVERIFY(!history.statistics());
    for (double v : {100.0, 1.0, 2.0})
        history.push(v);
    history.push(std::nullopt);
    QCOMPARE(history.size(), 3u);
    QVERIFY(!history.last());
    QCOMPARE(history.at(0), 1.0);
    const auto stats = history.statistics();
    QVERIFY(stats);
    QCOMPARE(stats->average, 1.5);
    QCOMPARE(stats->minimum, 1.0);
    QCOMPARE(stats->maximum, 2.0);
}

QTEST_MAIN(tst_ChartPainter)
#include "tst_ChartPainter.moc"
