// The chart's pure units: the compact point store against a plain vector of doubles
// through appends, late points, clears and chunk edges; spans and value extents; tick
// choice.
#include "chart/pointstore.h"
#include "chart/scale.h"
#include "chart/series.h"

#include <QTest>

#include <algorithm>
#include <random>

using namespace hmx::chart;

namespace {

using Model = std::vector<std::pair<double, double>>;

MinMax Scan(const Model& m, std::size_t lo, std::size_t hi)
{
    MinMax r;
    for (std::size_t i = lo; i < hi; ++i)
        r.add(m[i].second);
    return r;
}

} // namespace

class TstChartUnits : public QObject {
    Q_OBJECT
private slots:
    void storeMatchesVector_data();
    void storeMatchesVector();
    void emptyRange();
    void spanAndExtent_data();
    void spanAndExtent();
    void tickSteps_data();
    void tickSteps();
};

void TstChartUnits::storeMatchesVector_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("lateEvery");    // every n-th point goes back by a random amount; 0: none
    QTest::addColumn<double>("stepMs");    // X step between points in milliseconds
    QTest::addColumn<bool>("onGrid");      // X on whole milliseconds, values in hundredths
    QTest::addColumn<bool>("clearHalfway");
    const int chunk = int(PointStore::ChunkPoints);
    QTest::newRow("fewer than one block") << 20 << 0 << 500.0 << true << false;
    QTest::newRow("exactly one chunk") << chunk << 0 << 500.0 << true << false;
    QTest::newRow("one chunk plus one") << chunk + 1 << 0 << 500.0 << true << false;
    QTest::newRow("readings over chunk edges") << 5 * chunk + 17 << 0 << 500.0 << true << false;
    QTest::newRow("few late points") << 5000 << 50 << 500.0 << true << false;
    QTest::newRow("all random order") << 4000 << 1 << 500.0 << true << false;
    QTest::newRow("off the grid") << 3000 << 3 << 0.37 << false << false;
    QTest::newRow("tiny X span below a millisecond") << 3000 << 5 << 1e-4 << false << false;
    QTest::newRow("huge X span: offsets past 32 bits") << 3000 << 4 << 3e9 << true << false;
    QTest::newRow("cleared and refilled") << 4000 << 10 << 500.0 << true << true;
}

void TstChartUnits::storeMatchesVector()
{
    QFETCH(int, count);
    QFETCH(int, lateEvery);
    QFETCH(double, stepMs);
    QFETCH(bool, onGrid);
    QFETCH(bool, clearHalfway);
    std::mt19937 random(42);
    std::uniform_real_distribution<double> unit(0, 1);
    const std::int64_t startMs = 1796601600000;  // 7 Dec 2026
    PointStore store;
    Model model;
    for (int i = 0; i < count; ++i) {
        if (clearHalfway && i == count / 2) {
            store.clear();
            model.clear();
        }
        double ms = i * stepMs;
        if (lateEvery > 0 && i % lateEvery == 0)
            ms = unit(random) * ms;
        double x = XOfMilliseconds(startMs) + ms / 86400000.0;
        double y = (unit(random) - 0.3) * 2000;
        if (onGrid) {
            x = XOfMilliseconds(startMs + std::llround(ms));
            y = std::round(y * (i % 2 ? 10 : 100)) / (i % 2 ? 10 : 100);  // tenths and hundredths
        }
        store.add(x, y);
        const auto at = std::upper_bound(model.begin(), model.end(), x,
                                         [](double v, const auto& p) { return v < p.first; });
        model.insert(at, {x, y});
    }
    QCOMPARE(store.size(), model.size());
    for (std::size_t i = 0; i < model.size(); ++i) {
        QCOMPARE(store.x(i), model[i].first);  // bit for bit
        QCOMPARE(store.y(i), model[i].second);
    }
    const std::size_t n = model.size();
    for (int q = 0; q < 300; ++q) {
        std::size_t lo = random() % (n + 1);
        std::size_t hi = random() % (n + 1);
        if (lo > hi)
            std::swap(lo, hi);
        const MinMax got = store.extent(lo, hi);
        const MinMax want = Scan(model, lo, hi);
        QCOMPARE(got.empty(), want.empty());
        if (!want.empty()) {
            QCOMPARE(got.lo, want.lo);
            QCOMPARE(got.hi, want.hi);
        }
        const double x = n ? model[random() % n].first : 0;
        auto first = model.begin() + std::ptrdiff_t(lo), last = model.begin() + std::ptrdiff_t(hi);
        const auto below = [](const auto& p, double v) { return p.first < v; };
        const auto above = [](double v, const auto& p) { return v < p.first; };
        QCOMPARE(store.lowerBound(x, lo, hi), std::size_t(std::lower_bound(first, last, x, below) - model.begin()));
        QCOMPARE(store.upperBound(x, lo, hi), std::size_t(std::upper_bound(first, last, x, above) - model.begin()));
    }
}

void TstChartUnits::emptyRange()
{
    PointStore store;
    QVERIFY(store.extent(0, 0).empty());
    for (double v : {3.0, 1.0, 2.0})
        store.add(store.size(), v);
    QVERIFY(store.extent(2, 2).empty());
    QCOMPARE(store.extent(0, 3).lo, 1.0);
    QCOMPARE(store.extent(0, 3).hi, 3.0);
}

void TstChartUnits::spanAndExtent_data()
{
    // Points (0, 0) (10, 10) (20, -10) (30, 5).
    QTest::addColumn<double>("lo");
    QTest::addColumn<double>("hi");
    QTest::addColumn<int>("spanLo");
    QTest::addColumn<int>("spanHi");
    QTest::addColumn<double>("extentLo");
    QTest::addColumn<double>("extentHi");
    QTest::addColumn<int>("nearestTo12");   // in the drawn span; -1 when it is empty
    QTest::newRow("everything") << 0.0 << 30.0 << 0 << 4 << -10.0 << 10.0 << 1;
    QTest::newRow("ends between points interpolate") << 5.0 << 15.0 << 1 << 2 << 0.0 << 10.0 << 1;
    QTest::newRow("no point inside, a segment crosses") << 21.0 << 29.0 << 3 << 3 << -8.5 << 3.5 << 2;
    QTest::newRow("after the last point") << 31.0 << 40.0 << 4 << 4 << qInf() << -qInf() << -1;
}

void TstChartUnits::spanAndExtent()
{
    QFETCH(double, lo);
    QFETCH(double, hi);
    QFETCH(int, spanLo);
    QFETCH(int, spanHi);
    QFETCH(double, extentLo);
    QFETCH(double, extentHi);
    QFETCH(int, nearestTo12);
    PointStore store;
    for (const auto& [x, y] : Model{{0, 0}, {10, 10}, {20, -10}, {30, 5}})
        store.add(x, y);
    const Span span = SpanOf(store, lo, hi);
    QCOMPARE(int(span.lo), spanLo);
    QCOMPARE(int(span.hi), spanHi);
    const MinMax extent = ValueExtent(store, lo, hi);
    QCOMPARE(extent.lo, extentLo);
    QCOMPARE(extent.hi, extentHi);
    const Span drawn = DrawnSpan(store, lo, hi);
    QCOMPARE(drawn.empty(), nearestTo12 < 0);
    if (!drawn.empty())
        QCOMPARE(int(Nearest(store, drawn, 12)), nearestTo12);
}

void TstChartUnits::tickSteps_data()
{
    QTest::addColumn<double>("raw");          // NiceStep's argument
    QTest::addColumn<double>("nice");
    QTest::addColumn<double>("pixelsPerDay"); // TimeStep's, for labels 20 pixels apart
    QTest::addColumn<double>("timeStep");     // days
    QTest::newRow("a step already nice") << 0.2 << 0.2 << 86400.0 * 10 << 2 * Second;
    QTest::newRow("rounded up to 5") << 3.1 << 5.0 << 1440.0 * 12 << 2.0 / 1440;
    QTest::newRow("next decade") << 0.0061 << 0.01 << 700.0 << 1.0 / 24;
    QTest::newRow("years: the longest step doubled") << 1e6 << 1e6 << 0.01 << 3584.0;
    QTest::newRow("nothing to step") << 0.0 << 1.0 << 0.0 << 448.0;
}

void TstChartUnits::tickSteps()
{
    QFETCH(double, raw);
    QFETCH(double, nice);
    QFETCH(double, pixelsPerDay);
    QFETCH(double, timeStep);
    QCOMPARE(NiceStep(raw), nice);
    QCOMPARE(TimeStep(pixelsPerDay, 20), timeStep);
    // Ticks are whole steps and cover the range up to rounding.
    const std::vector<double> ticks = TicksWithin(10 * nice, 13 * nice, nice);
    QCOMPARE(int(ticks.size()), 4);
}

QTEST_APPLESS_MAIN(TstChartUnits)
#include "tst_chartunits.moc"
