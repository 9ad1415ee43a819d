// The min/max summary against a plain scan, through appends, inserts and clears.
#include "chart/minmaxpyramid.h"

#include <QTest>

#include <algorithm>
#include <random>

using hmx::chart::MinMax;
using hmx::chart::MinMaxPyramid;

namespace {

MinMax scan(const std::vector<double>& v, std::size_t lo, std::size_t hi)
{
    MinMax m;
    for (std::size_t i = lo; i < hi; ++i)
        m.add(v[i]);
    return m;
}

} // namespace

class TstMinMaxPyramid : public QObject {
    Q_OBJECT
private slots:
    void matchesScan_data();
    void matchesScan();
    void emptyRange();
};

void TstMinMaxPyramid::matchesScan_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("inserts");   // out-of-order insertions along the way
    QTest::addColumn<bool>("clearHalfway");
    QTest::newRow("fewer than one block") << 20 << 0 << false;
    QTest::newRow("exactly one block") << int(MinMaxPyramid::kBlock) << 0 << false;
    QTest::newRow("three levels, appends only") << 40000 << 0 << false;
    QTest::newRow("block boundary plus one") << int(MinMaxPyramid::kBlock * MinMaxPyramid::kBlock + 1) << 0 << false;
    QTest::newRow("inserts in the middle") << 20000 << 50 << false;
    QTest::newRow("cleared and refilled") << 20000 << 10 << true;
}

void TstMinMaxPyramid::matchesScan()
{
    QFETCH(int, count);
    QFETCH(int, inserts);
    QFETCH(bool, clearHalfway);
    std::mt19937 random(42);
    std::uniform_real_distribution<double> value(-1000, 1000);
    std::vector<double> values;
    MinMaxPyramid pyramid;
    const int insertEvery = inserts > 0 ? count / inserts : count + 1;
    for (int i = 0; i < count; ++i) {
        if (clearHalfway && i == count / 2) {
            values.clear();
            pyramid.clear();
        }
        if (i % insertEvery == insertEvery - 1 && !values.empty()) {
            const std::size_t at = random() % values.size();
            values.insert(values.begin() + static_cast<std::ptrdiff_t>(at), value(random));
            pyramid.changedFrom(at);
            // Query between changes so lazy rebuilds happen from different places.
            const MinMax whole = pyramid.query(values, 0, values.size());
            QCOMPARE(whole.lo, scan(values, 0, values.size()).lo);
        } else {
            values.push_back(value(random));
            pyramid.appended(values);
        }
    }
    for (int q = 0; q < 300; ++q) {
        std::size_t lo = random() % (values.size() + 1);
        std::size_t hi = random() % (values.size() + 1);
        if (lo > hi)
            std::swap(lo, hi);
        const MinMax got = pyramid.query(values, lo, hi);
        const MinMax want = scan(values, lo, hi);
        QCOMPARE(got.empty(), want.empty());
        if (!want.empty()) {
            QCOMPARE(got.lo, want.lo);
            QCOMPARE(got.hi, want.hi);
        }
    }
    const MinMax all = pyramid.query(values, 0, values.size());
    QCOMPARE(all.lo, *std::min_element(values.begin(), values.end()));
    QCOMPARE(all.hi, *std::max_element(values.begin(), values.end()));
}

void TstMinMaxPyramid::emptyRange()
{
    MinMaxPyramid pyramid;
    std::vector<double> values{3, 1, 2};
    for (std::size_t i = 1; i <= values.size(); ++i) {
        std::vector<double> prefix(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(i));
        pyramid.appended(prefix);
    }
    QVERIFY(pyramid.query(values, 2, 2).empty());
    QVERIFY(pyramid.query(values, 0, 0).empty());
    QCOMPARE(pyramid.query(values, 0, 3).lo, 1.0);
    QCOMPARE(pyramid.query(values, 0, 3).hi, 3.0);
}

QTEST_APPLESS_MAIN(TstMinMaxPyramid)
#include "tst_minmaxpyramid.moc"
