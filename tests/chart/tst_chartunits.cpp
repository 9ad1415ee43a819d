// The chart's pure units and the readings under it: the compact point store against a
// plain vector of doubles through appends, late points, clears and chunk edges; spans
// and value extents; the statistics of a range against a plain computation; the lines
// model against a plain map of vectors; tick choice.
#include "chart/scale.h"
#include "readings/lines.h"
#include "readings/pointstore.h"
#include "readings/spans.h"
#include "readings/statistics.h"

#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>

using namespace hmx::chart;
using namespace hmx::readings;

namespace {

using Model = std::vector<std::pair<double, double>>;

MinMax Scan(const Model& m, std::size_t lo, std::size_t hi)
{
    MinMax r;
    for (std::size_t i = lo; i < hi; ++i)
        r.add(m[i].second);
    return r;
}

bool PastLimit(const StatisticsLimit& l, double y)
{
    return l.upper ? y > l.value : y < l.value;
}

// The statistics of the points with lo <= X <= hi computed the plain way: every point
// read, every step between neighbours clipped to the range.
LineStatistics PlainStatistics(const Model& m, double joining, double lo, double hi,
                               const std::vector<StatisticsLimit>& limits)
{
    LineStatistics s;
    double sum = 0;
    for (const auto& [x, y] : m) {
        if (x < lo || x > hi)
            continue;
        if (s.count == 0)
            s.first = x;
        s.last = x;
        ++s.count;
        sum += y;
        if (!(y >= s.minimum)) {
            s.minimum = y;
            s.minimumAt = x;
        }
        if (!(y <= s.maximum)) {
            s.maximum = y;
            s.maximumAt = x;
        }
    }
    if (s.count > 0)
        s.mean = sum / double(s.count);
    if (s.count > 1) {
        double squares = 0;
        for (const auto& [x, y] : m)
            squares += x >= lo && x <= hi ? (y - s.mean) * (y - s.mean) : 0;
        s.deviation = std::sqrt(squares / double(s.count - 1));
    }
    for (const StatisticsLimit& l : limits)
        s.past.push_back({l, 0});
    for (std::size_t i = 0; i + 1 < m.size(); ++i) {
        const double a = std::max(lo, m[i].first), b = std::min(hi, m[i + 1].first);
        if (b <= a)
            continue;
        if (m[i + 1].first - m[i].first > joining) {
            s.gapDays += b - a;
            continue;
        }
        for (LimitTime& t : s.past)
            t.days += (PastLimit(t.limit, m[i].second) ? b - a : 0);
    }
    return s;
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
    void statisticsMatchPlainComputation_data();
    void statisticsMatchPlainComputation();
    void linesMatchPlainMap_data();
    void linesMatchPlainMap();
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
    QTest::addColumn<int>("batch");        // points handed over at once, up to; 1: one by one
    const int chunk = int(PointStore::ChunkPoints);
    QTest::newRow("fewer than one block") << 20 << 0 << 500.0 << true << false << 1;
    QTest::newRow("exactly one chunk") << chunk << 0 << 500.0 << true << false << 1;
    QTest::newRow("one chunk plus one") << chunk + 1 << 0 << 500.0 << true << false << 1;
    QTest::newRow("readings over chunk edges") << 5 * chunk + 17 << 0 << 500.0 << true << false << 1;
    QTest::newRow("few late points") << 5000 << 50 << 500.0 << true << false << 1;
    QTest::newRow("all random order") << 4000 << 1 << 500.0 << true << false << 1;
    QTest::newRow("off the grid") << 3000 << 3 << 0.37 << false << false << 1;
    QTest::newRow("tiny X span below a millisecond") << 3000 << 5 << 1e-4 << false << false << 1;
    QTest::newRow("huge X span: offsets past 32 bits") << 3000 << 4 << 3e9 << true << false << 1;
    QTest::newRow("cleared and refilled") << 4000 << 10 << 500.0 << true << true << 1;
    QTest::newRow("batches over chunk edges") << 7 * chunk + 5 << 0 << 500.0 << true << false << 3000;
    QTest::newRow("batches with late points") << 9000 << 37 << 500.0 << true << false << 700;
    QTest::newRow("batches of equal X") << 5000 << 0 << 0.0 << true << false << 999;
    QTest::newRow("batches off the grid now and then") << 6000 << 0 << 0.37 << false << false << 2500;
    QTest::newRow("batches past 32-bit offsets") << 6000 << 0 << 5e6 << true << false << 4000;
}

void TstChartUnits::storeMatchesVector()
{
    QFETCH(int, count);
    QFETCH(int, lateEvery);
    QFETCH(double, stepMs);
    QFETCH(bool, onGrid);
    QFETCH(bool, clearHalfway);
    QFETCH(int, batch);
    std::mt19937 random(42);
    std::uniform_real_distribution<double> unit(0, 1);
    const std::int64_t startMs = 1796601600000;  // 7 Dec 2026
    PointStore store;
    Model model;
    std::vector<double> xs, ys;
    const auto handOver = [&] {
        store.add(xs, ys);
        xs.clear();
        ys.clear();
    };
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
        } else if (batch > 1 && i % 500 != 0) {
            x = XOfMilliseconds(startMs + std::llround(ms));  // mostly on the grid, a point off it now and then
            y = std::round(y * 100) / 100;
        }
        if (batch == 1) {
            store.add(x, y);
        } else {
            xs.push_back(x);
            ys.push_back(y);
            if (int(xs.size()) >= 1 + int(random() % unsigned(batch)))
                handOver();
        }
        const auto at = std::upper_bound(model.begin(), model.end(), x,
                                         [](double v, const auto& p) { return v < p.first; });
        model.insert(at, {x, y});
    }
    handOver();
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
        // Count, mean and spread as a plain two-pass computation gives them.
        const hmx::readings::Moments moments = store.moments(lo, hi);
        QCOMPARE(moments.count, hi - lo);
        if (hi > lo) {
            double sum = 0, m2 = 0;
            for (std::size_t i = lo; i < hi; ++i)
                sum += model[i].second;
            const double mean = sum / double(hi - lo);
            for (std::size_t i = lo; i < hi; ++i)
                m2 += (model[i].second - mean) * (model[i].second - mean);
            QVERIFY2(std::abs(moments.mean() - mean) <= 1e-9 * (1 + std::abs(mean)), qPrintable(QString::number(lo)));
            QVERIFY2(std::abs(moments.m2 - m2) <= 1e-9 * (1 + m2), qPrintable(QString::number(lo)));
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

void TstChartUnits::statisticsMatchPlainComputation_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("onGrid");    // X on whole milliseconds, values in hundredths
    QTest::addColumn<int>("breakEvery"); // every n-th step is longer than the joining distance; 0: none
    QTest::addColumn<QString>("ranges"); // random, point (lo = hi = a point's X), gap (inside a break), empty, all
    const int chunk = int(PointStore::ChunkPoints);
    QTest::newRow("random ranges over chunks") << 20 * chunk + 300 << true << 0 << "random";
    QTest::newRow("random ranges, off the grid") << 6 * chunk + 7 << false << 0 << "random";
    QTest::newRow("random ranges with breaks") << 8 * chunk << true << 97 << "random";
    QTest::newRow("a single point") << 3 * chunk << true << 50 << "point";
    QTest::newRow("a range inside a break") << 3 * chunk << false << 40 << "gap";
    QTest::newRow("an empty range between points") << 2 * chunk << true << 0 << "empty";
    QTest::newRow("empty line") << 0 << true << 0 << "random";
    QTest::newRow("everything, few points") << 5 << true << 2 << "all";
}

void TstChartUnits::statisticsMatchPlainComputation()
{
    QFETCH(int, count);
    QFETCH(bool, onGrid);
    QFETCH(int, breakEvery);
    QFETCH(QString, ranges);
    std::mt19937 random(7);
    std::uniform_real_distribution<double> unit(0, 1);
    const double joining = 5 * Second;
    const std::int64_t startMs = 1796601600000;
    PointStore store;
    Gaps gaps;
    gaps.setJoining(joining);
    Model model;
    std::int64_t ms = startMs;
    double level = 10;
    for (int i = 0; i < count; ++i) {
        // Readings a second apart, some at the same moment, some after a break; a
        // wandering level that crosses the limits in runs rather than at every point.
        ms += breakEvery > 0 && i % breakEvery == breakEvery - 1 ? 60000 : i % 13 == 0 ? 0 : 1000;
        level += (unit(random) - 0.5) * 3;
        double x = XOfMilliseconds(ms), y = std::round(level * 100) / 100;
        if (!onGrid) {
            x += 0.3 * Millisecond;
            y = level + 1e4;  // far from zero, so a naive sum of squares would lose it
        }
        gaps.adding(store, x);
        store.add(x, y);
        model.push_back({x, y});
    }
    const double offset = onGrid ? 0 : 1e4;
    const std::vector<StatisticsLimit> limits = {{12 + offset, true, QStringLiteral("above")},
                                                 {8 + offset, false, QStringLiteral("below")},
                                                 {10 + offset, true, QStringLiteral("above middle")},
                                                 {10.005 + offset, false, QStringLiteral("below, off the grid")}};
    const std::size_t n = model.size();
    auto pick = [&] { return n ? model[random() % n].first : XOfMilliseconds(startMs); };
    for (int q = 0; q < 200; ++q) {
        double lo = pick(), hi = pick();
        if (ranges == QLatin1String("random")) {
            lo += (unit(random) - 0.5) * Second;  // ends between points too
            hi += (unit(random) - 0.5) * Second;
        } else if (ranges == QLatin1String("point")) {
            hi = lo;
        } else if (ranges == QLatin1String("gap")) {
            const auto& breaks = gaps.list();
            QVERIFY(!breaks.empty());
            const auto [a, b] = breaks[random() % breaks.size()];
            lo = a + (b - a) * 0.2;
            hi = a + (b - a) * 0.7;
        } else if (ranges == QLatin1String("empty")) {
            const std::size_t i = random() % (n - 1);
            lo = model[i].first + 1e-3 * Second;
            hi = model[i + 1].first - 1e-3 * Second;
        } else {
            lo = model.front().first - 1;
            hi = model.back().first + 1;
        }
        if (lo > hi)
            std::swap(lo, hi);
        const LineStatistics got = StatisticsOf(store, gaps, lo, hi, limits);
        const LineStatistics want = PlainStatistics(model, joining, lo, hi, limits);
        QCOMPARE(got.count, want.count);
        QCOMPARE(got.minimum, want.minimum);  // both NaN for an empty range
        QCOMPARE(got.minimumAt, want.minimumAt);
        QCOMPARE(got.maximum, want.maximum);
        QCOMPARE(got.maximumAt, want.maximumAt);
        QCOMPARE(got.first, want.first);
        QCOMPARE(got.last, want.last);
        QCOMPARE(std::isnan(got.mean), std::isnan(want.mean));
        QCOMPARE(std::isnan(got.deviation), std::isnan(want.deviation));
        if (want.count > 0)
            QVERIFY2(std::abs(got.mean - want.mean) <= 1e-12 * std::abs(want.mean), qPrintable(QString::number(got.mean - want.mean)));
        if (want.count > 1)
            QVERIFY2(std::abs(got.deviation - want.deviation) <= 1e-7 * want.deviation + 1e-12,
                     qPrintable(QStringLiteral("%1 against %2").arg(got.deviation).arg(want.deviation)));
        const double tolerance = 1e-3 * Millisecond;
        QVERIFY2(std::abs(got.gapDays - want.gapDays) < tolerance, qPrintable(QString::number((got.gapDays - want.gapDays) / Second)));
        QCOMPARE(got.past.size(), limits.size());
        for (std::size_t k = 0; k < limits.size(); ++k)
            QVERIFY2(std::abs(got.past[k].days - want.past[k].days) < tolerance,
                     qPrintable(QStringLiteral("%1: %2 s against %3 s").arg(limits[k].name).arg(got.past[k].days / Second).arg(want.past[k].days / Second)));
    }
}

void TstChartUnits::linesMatchPlainMap_data()
{
    QTest::addColumn<int>("seed");
    QTest::addColumn<int>("steps");
    QTest::addColumn<int>("quantities");  // the first n of the quantity table
    QTest::addColumn<double>("lateShare");    // of the points, those that come late
    QTest::addColumn<int>("lateSeconds");     // how late at most
    QTest::addColumn<bool>("wholeSeconds");   // late by whole seconds: points of equal X
    QTest::newRow("the three readings") << 1 << 3000 << 3 << 0.1 << 30 << false;
    QTest::newRow("readings and derived ones") << 2 << 3000 << int(hmx::humidity::QuantityCount) << 0.1 << 30 << false;
    QTest::newRow("one line, points around chunk edges") << 3 << 6000 << 1 << 0.1 << 30 << false;
    QTest::newRow("any order, into and around breaks") << 4 << 4000 << 2 << 0.7 << 900 << true;
}

// Random adds (single, batched, rows sharing X, lines built apart and appended, and
// straight to a line; late, equal and not finite ones among them), clears and removes,
// compared after each step with a map of
// vectors: the quantities and their order, every line's points and breaks, and the
// changed() signals.
void TstChartUnits::linesMatchPlainMap()
{
    using hmx::humidity::Quantity;
    QFETCH(int, seed);
    QFETCH(int, steps);
    QFETCH(int, quantities);
    QFETCH(double, lateShare);
    QFETCH(int, lateSeconds);
    QFETCH(bool, wholeSeconds);
    std::mt19937 random(static_cast<unsigned>(seed));
    std::uniform_real_distribution<double> unit(0, 1);
    const double joining = 5 * Second;
    auto anyQuantity = [&] { return Quantity(random() % static_cast<unsigned>(quantities)); };

    Lines lines;
    QSignalSpy changed(&lines, &Lines::changed);
    QVERIFY(changed.isValid());
    std::map<Quantity, Model> model;
    int told = 0;
    int equalX = 0, intoBreaks = 0;  // points the model took beside an equal X, and into a break
    std::int64_t clock = 1796601600000;  // ms
    // A point as the model keeps it: after the last one whose X is not above it; one
    // without a finite place is not kept.
    auto modelAdd = [&](Quantity q, double x, double y) {
        Model& m = model[q];
        if (!std::isfinite(x) || !std::isfinite(y))
            return;
        const auto at = std::upper_bound(m.begin(), m.end(), x, [](double v, const auto& p) { return v < p.first; });
        equalX += at != m.begin() && (at - 1)->first == x;
        intoBreaks += at != m.begin() && at != m.end() && at->first - (at - 1)->first > joining;
        m.insert(at, {x, y});
    };
    auto nextPoint = [&]() -> std::pair<double, double> {
        const double r = unit(random);
        clock += (r < 0.05 ? 60 : 1) * 1000;  // now and then a break
        std::int64_t late = unit(random) < lateShare ? std::llround(unit(random) * lateSeconds * 1000) : 0;
        if (wholeSeconds)
            late -= late % 1000;
        double x = XOfMilliseconds(clock - late);
        if (r > 0.98)
            x = std::numeric_limits<double>::quiet_NaN();
        return {x, std::round((unit(random) - 0.5) * 4000) / 100};
    };
    std::shared_ptr<Line> kept;  // a line removed while someone holds it
    Model keptPoints;

    for (int step = 0; step < steps; ++step) {
        const double op = unit(random);
        const Quantity q = anyQuantity();
        if (op < 0.5) {
            const auto [x, y] = nextPoint();
            lines.add(q, x, y);
            modelAdd(q, x, y);
            ++told;
        } else if (op < 0.62) {
            // Rows sharing X on a few lines, as a file's rows come.
            std::vector<Quantity> qs;
            for (int k = 0, n = 1 + int(random() % 3); k < n; ++k) {
                const Quantity any = anyQuantity();
                if (std::find(qs.begin(), qs.end(), any) == qs.end())
                    qs.push_back(any);
            }
            std::vector<double> xs(random() % 400);
            std::vector<std::vector<double>> values(qs.size(), std::vector<double>(xs.size()));
            for (std::size_t r = 0; r < xs.size(); ++r) {
                xs[r] = nextPoint().first;
                for (auto& column : values)
                    column[r] = nextPoint().second;
            }
            std::vector<const double*> columns;
            for (std::size_t k = 0; k < qs.size(); ++k) {
                lines.line(qs[k])->setJoiningDistance(joining);
                model[qs[k]];  // the line is there now, points or not
                columns.push_back(values[k].data());
                for (std::size_t r = 0; r < xs.size(); ++r)
                    modelAdd(qs[k], xs[r], values[k][r]);
            }
            if (random() % 2) {
                lines.add(xs, qs, columns);
                ++told;
            } else {
                // Built apart in parts, as a loaded file is, and put after what the lines hold.
                auto built = hmx::readings::BuildLines(xs, columns, joining, 1 + random() % 150);
                for (std::size_t k = 0; k < qs.size(); ++k) {
                    for (Line& part : built[k]) {
                        lines.append(qs[k], std::move(part));
                        ++told;
                    }
                }
            }
        } else if (op < 0.75) {
            std::vector<Lines::Point> batch(random() % 40);
            for (Lines::Point& p : batch) {
                p.quantity = anyQuantity();
                std::tie(p.x, p.y) = nextPoint();
                lines.line(p.quantity)->setJoiningDistance(joining);  // a new line joins as the others
                modelAdd(p.quantity, p.x, p.y);
            }
            lines.add(batch);
            ++told;
        } else if (op < 0.9) {
            const auto [x, y] = nextPoint();
            lines.line(q)->add(x, y);  // straight to the line: no signal
            modelAdd(q, x, y);
        } else if (op < 0.93) {
            lines.clear();
            for (auto& [quantity, points] : model)
                points.clear();
            ++told;
        } else {
            if (model.count(q)) {
                kept = std::const_pointer_cast<Line>(lines.find(q));
                keptPoints = model[q];
                ++told;
            }
            lines.remove(q);
            model.erase(q);
        }
        for (const auto& [quantity, points] : model)
            lines.line(quantity)->setJoiningDistance(joining);  // for the points from now on: all of them

        std::vector<Quantity> expected;
        for (Quantity first : {Quantity::DewPoint, Quantity::RelativeHumidity, Quantity::Temperature}) {
            if (model.count(first))
                expected.push_back(first);
        }
        for (const auto& [quantity, points] : model) {
            if (std::find(expected.begin(), expected.end(), quantity) == expected.end())
                expected.push_back(quantity);
        }
        QCOMPARE(lines.quantities(), expected);
        QCOMPARE(changed.count(), told);
        for (int i = 0; i < quantities; ++i) {
            const auto found = model.find(Quantity(i));
            const std::shared_ptr<const Line> line = lines.find(Quantity(i));
            QCOMPARE(bool(line), found != model.end());
            if (!line)
                continue;
            const Model& want = found->second;
            QCOMPARE(line->count(), want.size());
            std::vector<std::pair<double, double>> breaks;
            for (std::size_t k = 0; k < want.size(); ++k) {
                QCOMPARE(line->points().x(k), want[k].first);
                QCOMPARE(line->points().y(k), want[k].second);
                if (k > 0 && want[k].first - want[k - 1].first > joining)
                    breaks.emplace_back(want[k - 1].first, want[k].first);
            }
            QCOMPARE(line->gaps().list(), breaks);
        }
    }
    QVERIFY(kept);
    QCOMPARE(kept->count(), keptPoints.size());  // its holder still has its points
    // The run went where the row meant it to.
    QVERIFY(intoBreaks > 0);
    QVERIFY(!wholeSeconds || equalX > 0);
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
