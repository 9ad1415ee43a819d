// Chart engine: point order, axis ranges and refusals, layout, labels and drawing.
#include "chart/chartwidget.h"

#include <QDate>
#include <QImage>
#include <QLocale>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <random>

using hmx::chart::AxisError;
using hmx::chart::ChartLayout;
using hmx::chart::ChartWidget;
using hmx::chart::LineSeries;

namespace {

constexpr double kMinute = 1.0 / 1440;
const double kDay = static_cast<double>(QDate(1899, 12, 30).daysTo(QDate(2026, 12, 7)));

using Points = QList<QPair<double, double>>;

Points pointsOf(const LineSeries& s)
{
    Points p;
    for (std::size_t i = 0; i < s.count(); ++i)
        p.append({s.x(i), s.y(i)});
    return p;
}

// Pixels of the image inside `area` that differ from the chart's background.
int inkIn(const QImage& image, const QRect& area, QRgb background)
{
    int ink = 0;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            ink += image.pixel(x, y) != background;
    return ink;
}

bool hasColour(const QImage& image, const QRect& area, QColor colour)
{
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (image.pixelColor(x, y) == colour)
                return true;
    return false;
}

// Counts paints so the test can see changes reach the screen without a call.
class CountingChart : public ChartWidget {
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent* e) override
    {
        ++paints;
        ChartWidget::paintEvent(e);
    }
};

struct ThreeLines {
    ChartWidget chart;
    LineSeries* a;
    LineSeries* b;
    LineSeries* c;
    ThreeLines()
    {
        chart.resize(780, 540);
        chart.setTitle(QStringLiteral("Title"));
        a = chart.addSeries(QStringLiteral("°Cdp"), QColor(0, 0, 255));
        b = chart.addSeries(QStringLiteral("%Rh"), QColor(0, 128, 0));
        c = chart.addSeries(QStringLiteral("°C"), QColor(255, 0, 0));
    }
};

} // namespace

class TstChartWidget : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void pointOrder_data();
    void pointOrder();
    void randomOrderMatchesStableSort_data();
    void randomOrderMatchesStableSort();
    void nonFinitePointsAreNotStored();

    void axisRefusals_data();
    void axisRefusals();
    void automaticRangeReplacesManualValues_data();
    void automaticRangeReplacesManualValues();
    void manualRangeStays();
    void rangeAcrossMidnight();

    void changesRepaintWithoutACall();
    void emptyChartDrawsTitleLegendAndAxes();
    void layoutKeepsItsPlaces_data();
    void layoutKeepsItsPlaces();

    void oddSizesAndRanges_data();
    void oddSizesAndRanges();

    void timeLabels_data();
    void timeLabels();
    void timeLabelsDoNotOverlap_data();
    void timeLabelsDoNotOverlap();
    void valueTicksCoverTheRange();

    void spikeShowsInItsColumn();
    void decimatedDrawingMatchesFullDrawing_data();
    void decimatedDrawingMatchesFullDrawing();
};

void TstChartWidget::pointOrder_data()
{
    QTest::addColumn<Points>("added");
    QTest::addColumn<Points>("expected");
    QTest::newRow("in order: appended")
        << Points{{1, 10}, {2, 20}, {3, 30}} << Points{{1, 10}, {2, 20}, {3, 30}};
    QTest::newRow("late point placed in its time")
        << Points{{1, 10}, {2, 20}, {4, 40}, {3, 30}} << Points{{1, 10}, {2, 20}, {3, 30}, {4, 40}};
    QTest::newRow("earliest point goes to the front")
        << Points{{5, 50}, {6, 60}, {1, 10}} << Points{{1, 10}, {5, 50}, {6, 60}};
    QTest::newRow("equal X appended keep insertion order")
        << Points{{1, 1}, {2, 2}, {2, 3}, {2, 4}} << Points{{1, 1}, {2, 2}, {2, 3}, {2, 4}};
    QTest::newRow("equal X inserted goes after the others")
        << Points{{1, 1}, {2, 2}, {2, 3}, {5, 5}, {2, 4}} << Points{{1, 1}, {2, 2}, {2, 3}, {2, 4}, {5, 5}};
    QTest::newRow("equal X at the front keeps order")
        << Points{{3, 1}, {0, 2}, {0, 3}} << Points{{0, 2}, {0, 3}, {3, 1}};
    QTest::newRow("after midnight comes after the evening")
        << Points{{kDay + 23 * 60 * kMinute, 1}, {kDay + 1 + kMinute, 3}, {kDay + 1439 * kMinute, 2}}
        << Points{{kDay + 23 * 60 * kMinute, 1}, {kDay + 1439 * kMinute, 2}, {kDay + 1 + kMinute, 3}};
}

void TstChartWidget::pointOrder()
{
    QFETCH(Points, added);
    QFETCH(Points, expected);
    ChartWidget chart;
    LineSeries* s = chart.addSeries(QStringLiteral("s"), Qt::blue);
    for (const auto& p : added)
        s->addXY(p.first, p.second);
    QCOMPARE(s->count(), std::size_t(expected.size()));
    QCOMPARE(pointsOf(*s), expected);
}

void TstChartWidget::randomOrderMatchesStableSort_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("lateEvery");  // every n-th point is late by a random amount
    QTest::addColumn<int>("distinctX");
    QTest::newRow("mostly in order, few late") << 5000 << 50 << 100000;
    QTest::newRow("all random") << 3000 << 1 << 100000;
    QTest::newRow("many equal X") << 3000 << 2 << 20;
}

void TstChartWidget::randomOrderMatchesStableSort()
{
    QFETCH(int, count);
    QFETCH(int, lateEvery);
    QFETCH(int, distinctX);
    std::mt19937 random(1);
    ChartWidget chart;
    LineSeries* s = chart.addSeries(QStringLiteral("s"), Qt::blue);
    std::vector<std::pair<double, double>> reference;
    int clock = 0;
    for (int i = 0; i < count; ++i) {
        clock = (clock + 1) % distinctX;
        int x = clock;
        if (i % lateEvery == 0)
            x = static_cast<int>(random() % static_cast<unsigned>(distinctX));
        s->addXY(x, i);  // Y records the order of adding
        reference.emplace_back(x, i);
    }
    std::stable_sort(reference.begin(), reference.end(),
                     [](const auto& l, const auto& r) { return l.first < r.first; });
    QCOMPARE(s->count(), reference.size());
    for (std::size_t i = 0; i < reference.size(); ++i) {
        QCOMPARE(s->x(i), reference[i].first);
        QCOMPARE(s->y(i), reference[i].second);
    }
}

void TstChartWidget::nonFinitePointsAreNotStored()
{
    ChartWidget chart;
    LineSeries* s = chart.addSeries(QStringLiteral("s"), Qt::blue);
    s->addXY(1, 1);
    s->addXY(std::nan(""), 2);
    s->addXY(2, INFINITY);
    s->addXY(3, 3);
    QCOMPARE(pointsOf(*s), (Points{{1, 1}, {3, 3}}));
    chart.updateRanges();
    QCOMPARE(chart.leftAxis()->maximum(), 3.0);
}

void TstChartWidget::axisRefusals_data()
{
    QTest::addColumn<bool>("setMinimum");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("message");  // empty: accepted
    QTest::newRow("minimum above maximum") << true << 11.0 << "Axis Minimum Value must be <= Maximum";
    QTest::newRow("minimum equal to maximum") << true << 10.0 << "";
    QTest::newRow("minimum below maximum") << true << -5.0 << "";
    QTest::newRow("maximum below minimum") << false << 1.0 << "Axis Maximum Value must be >= Minimum";
    QTest::newRow("maximum equal to minimum") << false << 2.0 << "";
    QTest::newRow("maximum above minimum") << false << 100.0 << "";
    QTest::newRow("minimum NaN") << true << double(NAN) << "Axis Minimum Value must be <= Maximum";
    QTest::newRow("maximum NaN") << false << double(NAN) << "Axis Maximum Value must be >= Minimum";
}

void TstChartWidget::axisRefusals()
{
    QFETCH(bool, setMinimum);
    QFETCH(double, value);
    QFETCH(QString, message);
    ChartWidget chart;
    for (auto* axis : {chart.bottomAxis(), chart.leftAxis()}) {
        axis->setAutomatic(false);
        axis->setMaximum(10);
        axis->setMinimum(2);
        QString thrown;
        try {
            setMinimum ? axis->setMinimum(value) : axis->setMaximum(value);
        } catch (const AxisError& e) {
            thrown = QString::fromUtf8(e.what());
        }
        QCOMPARE(thrown, message);
        const bool refused = !message.isEmpty();
        QCOMPARE(axis->minimum(), setMinimum && !refused ? value : 2.0);
        QCOMPARE(axis->maximum(), !setMinimum && !refused ? value : 10.0);
    }
}

void TstChartWidget::automaticRangeReplacesManualValues_data()
{
    QTest::addColumn<bool>("byDrawing");
    QTest::newRow("updateRanges") << false;
    QTest::newRow("drawing") << true;
}

void TstChartWidget::automaticRangeReplacesManualValues()
{
    QFETCH(bool, byDrawing);
    ThreeLines t;
    t.a->addXY(kDay + 0.25, 5);
    t.b->addXY(kDay + 0.50, 60);
    t.c->addXY(kDay + 0.75, -3);
    // What the poller does after a reading: minimum 0, maximum past now.
    t.chart.bottomAxis()->setMinimum(0);
    t.chart.bottomAxis()->setMaximum(kDay * 3);
    t.chart.leftAxis()->setMinimum(-100);
    QCOMPARE(t.chart.bottomAxis()->minimum(), 0.0);
    QCOMPARE(t.chart.bottomAxis()->maximum(), kDay * 3);
    QVERIFY(t.chart.bottomAxis()->automatic());
    if (byDrawing)
        t.chart.grab();
    else
        t.chart.updateRanges();
    QCOMPARE(t.chart.bottomAxis()->minimum(), kDay + 0.25);
    QCOMPARE(t.chart.bottomAxis()->maximum(), kDay + 0.75);
    QCOMPARE(t.chart.leftAxis()->minimum(), -3.0);
    QCOMPARE(t.chart.leftAxis()->maximum(), 60.0);
    QVERIFY(t.chart.bottomAxis()->automatic());
}

void TstChartWidget::manualRangeStays()
{
    ThreeLines t;
    t.a->addXY(kDay, 1);
    t.a->addXY(kDay + 0.5, 2);
    t.chart.bottomAxis()->setAutomatic(false);
    t.chart.bottomAxis()->setMaximum(kDay + 0.25);
    t.chart.bottomAxis()->setMinimum(kDay + 0.1);
    t.chart.grab();
    QCOMPARE(t.chart.bottomAxis()->minimum(), kDay + 0.1);
    QCOMPARE(t.chart.bottomAxis()->maximum(), kDay + 0.25);
    QCOMPARE(t.chart.chartLayout().timeMin, kDay + 0.1);
    // Back to automatic: the data range again.
    t.chart.bottomAxis()->setAutomatic(true);
    t.chart.updateRanges();
    QCOMPARE(t.chart.bottomAxis()->maximum(), kDay + 0.5);
}

void TstChartWidget::rangeAcrossMidnight()
{
    ThreeLines t;
    const double evening = kDay + 1439 * kMinute;
    const double morning = kDay + 1 + kMinute;
    t.a->addXY(morning, 2);
    t.a->addXY(evening, 1);
    QCOMPARE(t.a->x(0), evening);
    QCOMPARE(t.a->x(1), morning);
    t.chart.updateRanges();
    QCOMPARE(t.chart.bottomAxis()->minimum(), evening);
    QCOMPARE(t.chart.bottomAxis()->maximum(), morning);
    const ChartLayout l = t.chart.chartLayout();
    QVERIFY(!l.timeTicks.empty());
    QVERIFY(std::any_of(l.timeTicks.begin(), l.timeTicks.end(),
                        [](double x) { return ChartWidget::timeLabel(x) == QStringLiteral("00:00"); }));
}

void TstChartWidget::changesRepaintWithoutACall()
{
    CountingChart chart;
    chart.resize(400, 300);
    LineSeries* s = chart.addSeries(QStringLiteral("s"), Qt::blue);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    QTRY_VERIFY(chart.paints > 0);
    const int before = chart.paints;
    for (int i = 0; i < 1000; ++i)
        s->addXY(kDay + i * kMinute, i % 7);
    QTRY_VERIFY(chart.paints > before);
    // A thousand additions in one go come out as a paint or two, not a thousand.
    QVERIFY2(chart.paints - before < 10, qPrintable(QString::number(chart.paints - before)));
    const int afterAdds = chart.paints;
    s->clear();
    QTRY_VERIFY(chart.paints > afterAdds);
}

void TstChartWidget::emptyChartDrawsTitleLegendAndAxes()
{
    ThreeLines t;
    const QImage image = t.chart.grab().toImage();
    const QRgb background = t.chart.palette().color(QPalette::Window).rgb();
    const ChartLayout l = t.chart.chartLayout();
    QVERIFY(inkIn(image, l.title, background) > 0);
    QVERIFY(inkIn(image, l.legend, background) > 0);
    // Each legend entry shows its colour sample.
    QVERIFY(hasColour(image, l.legend, QColor(0, 0, 255)));
    QVERIFY(hasColour(image, l.legend, QColor(0, 128, 0)));
    QVERIFY(hasColour(image, l.legend, QColor(255, 0, 0)));
    // Both axis lines and their labels.
    QVERIFY(inkIn(image, QRect(l.plot.left(), l.plot.top(), 1, l.plot.height()), background) > l.plot.height() / 2);
    QVERIFY(inkIn(image, QRect(l.plot.left(), l.plot.bottom(), l.plot.width(), 1), background) > l.plot.width() / 2);
    QVERIFY(!l.timeLabels.empty());
    QVERIFY(inkIn(image, l.timeLabels.front(), background) > 0);
    QVERIFY(!l.valueTicks.empty());
    QVERIFY(inkIn(image, QRect(0, l.plot.top(), l.plot.left() - 1, l.plot.height()), background) > 0);
    // Nothing drawn below the legend's shadow or between title and legend outside the plot's columns.
    QCOMPARE(inkIn(image, QRect(0, l.legend.bottom() + 2, image.width(), image.height()), background), 0);
}

void TstChartWidget::layoutKeepsItsPlaces_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("chart page size") << QSize(780, 540);
    QTest::newRow("small") << QSize(400, 300);
    QTest::newRow("wide") << QSize(1600, 500);
}

void TstChartWidget::layoutKeepsItsPlaces()
{
    QFETCH(QSize, size);
    ThreeLines t;
    t.chart.resize(size);
    t.a->addXY(kDay, 10);
    t.a->addXY(kDay + 0.3, 20);
    t.chart.updateRanges();
    const ChartLayout l = t.chart.chartLayout();
    const int marginX = qRound(0.02 * size.width());
    QCOMPARE(l.title.top(), qRound(0.02 * size.height()));
    QVERIFY(l.title.bottom() < l.plot.top());
    QVERIFY(l.plot.bottom() < l.legend.top());
    QVERIFY(l.legend.bottom() + 1 <= size.height() - qRound(0.01 * size.height()));
    QVERIFY(l.plot.left() > marginX);
    QCOMPARE(l.plot.right(), size.width() - marginX - 1);
    // Legend centred horizontally.
    QVERIFY(std::abs((l.legend.left() + l.legend.right() + 1) - size.width()) <= 1);
    // Time labels sit between the plot and the legend.
    for (const QRect& r : l.timeLabels) {
        QVERIFY(r.top() > l.plot.bottom());
        QVERIFY(r.bottom() < l.legend.top());
    }
}

void TstChartWidget::oddSizesAndRanges_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<double>("timeMin");  // manual time range when timeMin < timeMax
    QTest::addColumn<double>("timeMax");
    QTest::newRow("zero size") << QSize(0, 0) << 0.0 << 0.0;
    QTest::newRow("tiny") << QSize(6, 5) << 0.0 << 0.0;
    QTest::newRow("one row of text high") << QSize(300, 20) << 0.0 << 0.0;
    QTest::newRow("huge manual time range") << QSize(780, 540) << -1e308 << 1e308;
    QTest::newRow("manual range left of the data") << QSize(780, 540) << 100.0 << 200.0;
}

void TstChartWidget::oddSizesAndRanges()
{
    QFETCH(QSize, size);
    QFETCH(double, timeMin);
    QFETCH(double, timeMax);
    ThreeLines t;
    t.chart.resize(size);
    for (int i = 0; i < 5000; ++i)
        t.a->addXY(kDay + i * 1e-5, std::sin(i * 0.01));
    if (timeMin < timeMax) {
        t.chart.bottomAxis()->setAutomatic(false);
        t.chart.bottomAxis()->setMaximum(timeMax);
        t.chart.bottomAxis()->setMinimum(timeMin);
    }
    const QImage image = t.chart.grab().toImage();  // must neither hang nor crash
    QCOMPARE(image.size(), size.expandedTo(QSize(0, 0)));
    const ChartLayout l = t.chart.chartLayout();
    QVERIFY(l.plot.width() >= 1 && l.plot.height() >= 1);
    QCOMPARE(l.timeTicks.size(), l.timeLabels.size());
}

void TstChartWidget::timeLabels_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<double>("x");
    QTest::addColumn<QString>("expected");
    const QLocale c = QLocale::c();
    const QLocale finnish(QLocale::Finnish, QLocale::Finland);
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    QTest::newRow("noon") << c << kDay + 0.5 << "12:00";
    QTest::newRow("two digits for early hours") << c << kDay + (3 * 60 + 7) * kMinute << "03:07";
    QTest::newRow("24-hour clock in a 12-hour locale") << us << kDay + (15 * 60 + 45) * kMinute << "15:45";
    QTest::newRow("midnight") << c << kDay + 1 << "00:00";
    QTest::newRow("last minute of the day") << c << kDay + 1439 * kMinute << "23:59";
    QTest::newRow("rounding error just below a minute") << c << kDay + 61 * kMinute - 1e-12 << "01:01";
    QTest::newRow("Finnish separator") << finnish << kDay + (9 * 60 + 30) * kMinute << "09.30";
    QTest::newRow("before the date origin") << c << -0.25 << "18:00";
}

void TstChartWidget::timeLabels()
{
    QFETCH(QLocale, locale);
    QFETCH(double, x);
    QFETCH(QString, expected);
    QLocale::setDefault(locale);
    QCOMPARE(ChartWidget::timeLabel(x), expected);
}

void TstChartWidget::timeLabelsDoNotOverlap_data()
{
    QTest::addColumn<double>("span");
    QTest::addColumn<int>("width");
    QTest::newRow("ten minutes") << 10 * kMinute << 780;
    QTest::newRow("one hour") << 60 * kMinute << 780;
    QTest::newRow("one day") << 1.0 << 780;
    QTest::newRow("one day, narrow") << 1.0 << 250;
    QTest::newRow("three days") << 3.0 << 780;
    QTest::newRow("a year") << 365.0 << 780;
    QTest::newRow("thirty seconds") << 0.5 * kMinute << 780;
    QTest::newRow("ten seconds, narrow") << 10.0 / 86400 << 300;
}

void TstChartWidget::timeLabelsDoNotOverlap()
{
    QFETCH(double, span);
    QFETCH(int, width);
    ThreeLines t;
    t.chart.resize(width, 540);
    t.a->addXY(kDay + 0.3, 1);
    t.a->addXY(kDay + 0.3 + span, 2);
    t.chart.updateRanges();
    const ChartLayout l = t.chart.chartLayout();
    QCOMPARE(l.timeTicks.size(), l.timeLabels.size());
    QCOMPARE(l.timeTicks.size(), l.timeTexts.size());
    QVERIFY(l.timeTicks.size() >= 2);
    QVERIFY(!l.timeTexts.front().isEmpty());
    // A whole number of seconds, and each tick on a multiple of it.
    const double seconds = l.timeStep * 86400;
    QVERIFY(std::abs(seconds - std::round(seconds)) < 1e-6 && seconds > 1 - 1e-6);
    QString previous;
    for (std::size_t i = 0; i < l.timeTicks.size(); ++i) {
        // Written labels never repeat the one before; left-out ones repeat it.
        const QString text = ChartWidget::timeLabel(l.timeTicks[i]);
        QCOMPARE(l.timeTexts[i].isEmpty(), i > 0 && text == previous);
        if (!l.timeTexts[i].isEmpty())
            QCOMPARE(l.timeTexts[i], text);
        previous = text;
        const double k = l.timeTicks[i] / l.timeStep;
        QVERIFY(std::abs(k - std::round(k)) < 1e-6);
        QVERIFY(l.timeTicks[i] >= l.timeMin - 1e-9 && l.timeTicks[i] <= l.timeMax + 1e-9);
        if (i > 0)
            QVERIFY2(!l.timeLabels[i].intersects(l.timeLabels[i - 1]), qPrintable(QString::number(i)));
    }
    // The finest step that fits: the next finer one (at least 2/5 of it) would overlap.
    if (l.timeStep > 1.5 / 86400) {
        const double pixelsPerDay = l.plot.width() / (l.timeMax - l.timeMin);
        QVERIFY((l.timeStep / 2.5) * pixelsPerDay < l.timeLabels[0].width() + 2);
    }
}

void TstChartWidget::valueTicksCoverTheRange()
{
    ThreeLines t;
    t.a->addXY(kDay, -7.3);
    t.b->addXY(kDay + 0.1, 93.1);
    t.chart.updateRanges();
    const ChartLayout l = t.chart.chartLayout();
    QCOMPARE(l.valueMin, -7.3);
    QCOMPARE(l.valueMax, 93.1);
    QVERIFY(l.valueTicks.size() >= 3);
    for (double v : l.valueTicks)
        QVERIFY(v >= l.valueMin && v <= l.valueMax);
    QVERIFY(l.valueTicks.front() - l.valueMin < l.valueStep);
    QVERIFY(l.valueMax - l.valueTicks.back() < l.valueStep);
}

void TstChartWidget::spikeShowsInItsColumn()
{
    ThreeLines t;
    const int n = 100000;
    const int spike = 61234;
    for (int i = 0; i < n; ++i)
        t.b->addXY(kDay + i / double(n), i == spike ? 100.0 : 50.0 + (i % 3));
    t.a->addXY(kDay, 0);
    QVERIFY(t.chart.decimation());
    const QImage image = t.chart.grab().toImage();
    const ChartLayout l = t.chart.chartLayout();
    const double fraction = (t.b->x(spike) - l.timeMin) / (l.timeMax - l.timeMin);
    const int column = l.plot.left() + int(fraction * l.plot.width());
    const int top = int(l.plot.top() + 0.03 * l.plot.height());
    const QColor green(0, 128, 0);
    // The spike reaches the top of the value axis in its own column...
    QVERIFY(hasColour(image, QRect(column - 2, top - 2, 5, 5), green));
    // ...and nowhere else is the line that high.
    QVERIFY(!hasColour(image, QRect(l.plot.left(), top - 2, column - 4 - l.plot.left(), 5), green));
    QVERIFY(!hasColour(image, QRect(column + 4, top - 2, l.plot.right() - column - 4, 5), green));
}

void TstChartWidget::decimatedDrawingMatchesFullDrawing_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("manualWindow");
    QTest::newRow("10^5 noisy points") << 100000 << false;
    QTest::newRow("manual time window inside the data") << 100000 << true;
}

void TstChartWidget::decimatedDrawingMatchesFullDrawing()
{
    QFETCH(int, count);
    QFETCH(bool, manualWindow);
    ThreeLines t;
    std::mt19937 random(3);
    std::normal_distribution<double> noise(0, 0.3);
    double walk = 20;
    for (int i = 0; i < count; ++i) {
        walk += noise(random);
        const double x = kDay + i / double(count);
        t.a->addXY(x, walk);
        t.b->addXY(x, 40 + 10 * std::sin(i * 1e-4) + noise(random));
        t.c->addXY(x, 25 + (i % 5000 == 0 ? 8 : 0));
    }
    if (manualWindow) {
        t.chart.bottomAxis()->setAutomatic(false);
        t.chart.bottomAxis()->setMaximum(kDay + 0.6);
        t.chart.bottomAxis()->setMinimum(kDay + 0.2);
    }
    const QImage decimated = t.chart.grab().toImage();
    t.chart.setDecimation(false);
    const QImage full = t.chart.grab().toImage();
    QCOMPARE(decimated.size(), full.size());
    int differing = 0;
    int inked = 0;
    const QRgb background = t.chart.palette().color(QPalette::Window).rgb();
    for (int y = 0; y < full.height(); ++y) {
        for (int x = 0; x < full.width(); ++x) {
            differing += decimated.pixel(x, y) != full.pixel(x, y);
            inked += full.pixel(x, y) != background;
        }
    }
    QVERIFY(inked > 1000);
    // Rasterising one span instead of many short segments may move a stray end pixel, no more.
    QVERIFY2(differing <= inked / 200, qPrintable(QStringLiteral("%1 of %2").arg(differing).arg(inked)));
}

QTEST_MAIN(TstChartWidget)
#include "tst_chartwidget.moc"
