// Chart engine: point order, axis ranges and refusals, layout, labels and drawing;
// zoom, pan, read-out, hidden lines and the saved files, driven by real events.
#include "chart/chartwidget.h"
#include "chart/layout.h"
#include "readings/lines.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDate>
#include <QFile>
#include <QImage>
#include <QLocale>
#include <QMenu>
#include <QPrinter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <QXmlStreamReader>

#include <algorithm>
#include <cmath>
#include <random>

using hmx::chart::AxisError;
using hmx::chart::ChartLayout;
using hmx::chart::ChartWidget;
using hmx::chart::LineSeries;
using hmx::chart::LimitLine;
using hmx::chart::PlotMap;
using hmx::chart::ShadedPeriod;

namespace {

constexpr double Minute = 1.0 / 1440;
const double Day = static_cast<double>(QDate(1899, 12, 30).daysTo(QDate(2026, 12, 7)));

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

// A widget point at fractions of the drawn time range and of the value axis.
QPoint at(const ChartLayout& l, double fx, double fy)
{
    const double base = l.plot.top() + l.plot.height() * 0.97;
    return QPoint(qRound(l.plot.left() + fx * l.plot.width()), qRound(base - fy * l.plot.height() * 0.94));
}

void wheel(QWidget& w, QPoint pos, int delta, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWheelEvent e(pos, w.mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&w, &e);
}

// Moves the mouse there from elsewhere (a move to where it already is gets dropped).
void hover(QWidget& w, QPoint pos)
{
    QTest::mouseMove(&w, pos == QPoint(0, 0) ? QPoint(1, 1) : QPoint(0, 0));
    QTest::mouseMove(&w, pos);
}

void drag(QWidget& w, Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint from, QPoint to)
{
    QTest::mousePress(&w, button, modifiers, from);
    QTest::mouseMove(&w, (from + to) / 2);
    QTest::mouseMove(&w, to);
    QTest::mouseRelease(&w, button, modifiers, to);
}

// Date-time value of a time of day on Day, as the program makes it from the clock.
double clock(int h, int m, int s, int ms = 0)
{
    return Day + (((h * 60 + m) * 60 + s) * 1000 + ms) / 86400000.0;
}

// Three lines over one day, shown, for event-driven tests.
struct ShownDay : ThreeLines {
    ShownDay()
    {
        for (int i = 0; i <= 1440; ++i) {
            a->addXY(Day + i * Minute, 20 + 10 * std::sin(i * 0.01));
            b->addXY(Day + i * Minute, 40 + (i % 60) * 0.1);
        }
        chart.show();
        QVERIFY(QTest::qWaitForWindowExposed(&chart));
        chart.updateRanges();
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
    void drawsTheLinesOfAModel();
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

    void ticksKeepARangeStartingOnAStep_data();
    void ticksKeepARangeStartingOnAStep();
    void legendSampleRoundsHalvesToEven();
    void timeOfDayMappingDrivesTexts();

    void viewChanges_data();
    void viewChanges();
    void resetReturnsToAutomatic_data();
    void resetReturnsToAutomatic();
    void zoomedViewWhileMeasuring_data();
    void zoomedViewWhileMeasuring();
    void readOut_data();
    void readOut();
    void hidingALine_data();
    void hidingALine();
    void savedFiles_data();
    void savedFiles();
    void exportCsv_data();
    void exportCsv();
    void contextMenuCopiesTheImage();

    void spikeShowsInItsColumn();
    void decimatedDrawingMatchesFullDrawing_data();
    void decimatedDrawingMatchesFullDrawing();

    void limitLines_data();
    void limitLines();
    void shadedPeriods_data();
    void shadedPeriods();
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
        << Points{{Day + 23 * 60 * Minute, 1}, {Day + 1 + Minute, 3}, {Day + 1439 * Minute, 2}}
        << Points{{Day + 23 * 60 * Minute, 1}, {Day + 1439 * Minute, 2}, {Day + 1 + Minute, 3}};
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
    t.a->addXY(Day + 0.25, 5);
    t.b->addXY(Day + 0.50, 60);
    t.c->addXY(Day + 0.75, -3);
    // What the poller does after a reading: minimum 0, maximum past now.
    t.chart.bottomAxis()->setMinimum(0);
    t.chart.bottomAxis()->setMaximum(Day * 3);
    t.chart.leftAxis()->setMinimum(-100);
    QCOMPARE(t.chart.bottomAxis()->minimum(), 0.0);
    QCOMPARE(t.chart.bottomAxis()->maximum(), Day * 3);
    QVERIFY(t.chart.bottomAxis()->automatic());
    if (byDrawing)
        t.chart.grab();
    else
        t.chart.updateRanges();
    QCOMPARE(t.chart.bottomAxis()->minimum(), Day + 0.25);
    QCOMPARE(t.chart.bottomAxis()->maximum(), Day + 0.75);
    QCOMPARE(t.chart.leftAxis()->minimum(), -3.0);
    QCOMPARE(t.chart.leftAxis()->maximum(), 60.0);
    QVERIFY(t.chart.bottomAxis()->automatic());
}

void TstChartWidget::manualRangeStays()
{
    ThreeLines t;
    t.a->addXY(Day, 1);
    t.a->addXY(Day + 0.5, 2);
    t.chart.bottomAxis()->setAutomatic(false);
    t.chart.bottomAxis()->setMaximum(Day + 0.25);
    t.chart.bottomAxis()->setMinimum(Day + 0.1);
    t.chart.grab();
    QCOMPARE(t.chart.bottomAxis()->minimum(), Day + 0.1);
    QCOMPARE(t.chart.bottomAxis()->maximum(), Day + 0.25);
    QCOMPARE(t.chart.chartLayout().timeMin, Day + 0.1);
    // Back to automatic: the data range again.
    t.chart.bottomAxis()->setAutomatic(true);
    t.chart.updateRanges();
    QCOMPARE(t.chart.bottomAxis()->maximum(), Day + 0.5);
}

void TstChartWidget::rangeAcrossMidnight()
{
    ThreeLines t;
    const double evening = Day + 1439 * Minute;
    const double morning = Day + 1 + Minute;
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
        s->addXY(Day + i * Minute, i % 7);
    QTRY_VERIFY(chart.paints > before);
    // A thousand additions in one go come out as a paint or two, not a thousand.
    QVERIFY2(chart.paints - before < 10, qPrintable(QString::number(chart.paints - before)));
    const int afterAdds = chart.paints;
    s->clear();
    QTRY_VERIFY(chart.paints > afterAdds);
}

// A series draws the line of readings it is given, and the chart repaints as the model
// changes; two charts may draw one model.
void TstChartWidget::drawsTheLinesOfAModel()
{
    using hmx::humidity::Quantity;
    using hmx::readings::Lines;
    Lines lines;
    CountingChart first, second;
    LineSeries* a = first.addSeries(QStringLiteral("a"), Qt::blue);
    LineSeries* b = second.addSeries(QStringLiteral("b"), Qt::red);
    a->addXY(Day, 1);  // into its own line, until it is given one
    a->setData(lines.line(Quantity::DewPoint));
    b->setData(lines.line(Quantity::DewPoint));
    QCOMPARE(a->count(), std::size_t(0));
    for (CountingChart* chart : {&first, &second}) {
        chart->resize(400, 300);
        chart->setLines(&lines);
        chart->show();
        QVERIFY(QTest::qWaitForWindowExposed(chart));
    }
    QTRY_VERIFY(first.paints > 0 && second.paints > 0);
    int before[] = {first.paints, second.paints};
    std::vector<Lines::Point> batch;
    for (int i = 0; i < 500; ++i)
        batch.push_back({Quantity::DewPoint, Day + i * Minute, double(i % 5)});
    lines.add(batch);
    QTRY_VERIFY(first.paints > before[0] && second.paints > before[1]);
    QCOMPARE(a->count(), std::size_t(500));
    QCOMPARE(pointsOf(*a), pointsOf(*b));
    // A point added through one chart's series is the model's, so the other chart has it.
    a->addXY(Day + 1000 * Minute, 9);
    QCOMPARE(b->count(), std::size_t(501));
    QCOMPARE(b->y(500), 9.0);
    second.updateRanges();
    QCOMPARE(second.bottomAxis()->maximum(), Day + 1000 * Minute);
    // A model cleared is drawn empty at once.
    before[1] = second.paints;
    lines.clear();
    QTRY_VERIFY(second.paints > before[1]);
    QCOMPARE(b->count(), std::size_t(0));
    // Given nothing, a series draws an empty line of its own again; the model keeps its points.
    lines.add(Quantity::DewPoint, Day, 4);
    a->setData(nullptr);
    QCOMPARE(a->count(), std::size_t(0));
    QCOMPARE(lines.find(Quantity::DewPoint)->count(), std::size_t(1));
    // A line the model lets go of stays with the series that draws it.
    lines.remove(Quantity::DewPoint);
    QCOMPARE(b->count(), std::size_t(1));
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
    t.a->addXY(Day, 10);
    t.a->addXY(Day + 0.3, 20);
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
        t.a->addXY(Day + i * 1e-5, std::sin(i * 0.01));
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
    QTest::newRow("noon") << c << Day + 0.5 << "12:00";
    QTest::newRow("two digits for early hours") << c << Day + (3 * 60 + 7) * Minute << "03:07";
    QTest::newRow("24-hour clock in a 12-hour locale") << us << Day + (15 * 60 + 45) * Minute << "15:45";
    QTest::newRow("midnight") << c << Day + 1 << "00:00";
    QTest::newRow("last minute of the day") << c << Day + 1439 * Minute << "23:59";
    QTest::newRow("rounding error just below a minute") << c << Day + 61 * Minute - 1e-12 << "01:01";
    QTest::newRow("Finnish separator") << finnish << Day + (9 * 60 + 30) * Minute << "09.30";
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
    QTest::newRow("ten minutes") << 10 * Minute << 780;
    QTest::newRow("one hour") << 60 * Minute << 780;
    QTest::newRow("one day") << 1.0 << 780;
    QTest::newRow("one day, narrow") << 1.0 << 250;
    QTest::newRow("three days") << 3.0 << 780;
    QTest::newRow("a year") << 365.0 << 780;
    QTest::newRow("thirty seconds") << 0.5 * Minute << 780;
    QTest::newRow("ten seconds, narrow") << 10.0 / 86400 << 300;
}

void TstChartWidget::timeLabelsDoNotOverlap()
{
    QFETCH(double, span);
    QFETCH(int, width);
    ThreeLines t;
    t.chart.resize(width, 540);
    t.a->addXY(Day + 0.3, 1);
    t.a->addXY(Day + 0.3 + span, 2);
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
        if (span > 1) {
            // Over more than a day every label is written, each with its own day.
            const QDate date = QDate(1899, 12, 30).addDays(qint64(std::floor(l.timeTicks[i] + 1e-9)));
            QVERIFY2(l.timeTexts[i].contains(QString::number(date.day())) && l.timeTexts[i] != previous,
                     qPrintable(l.timeTexts[i]));
            previous = l.timeTexts[i];
        } else {
            // Written labels never repeat the one before; left-out ones repeat it.
            const QString text = ChartWidget::timeLabel(l.timeTicks[i]);
            QCOMPARE(l.timeTexts[i].isEmpty(), i > 0 && text == previous);
            if (!l.timeTexts[i].isEmpty())
                QCOMPARE(l.timeTexts[i], text);
            previous = text;
        }
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
    t.a->addXY(Day, -7.3);
    t.b->addXY(Day + 0.1, 93.1);
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

void TstChartWidget::ticksKeepARangeStartingOnAStep_data()
{
    QTest::addColumn<int>("spanSeconds");
    QTest::newRow("30 seconds: 1-second steps") << 30;
    QTest::newRow("5 minutes: 10-second steps") << 300;
    QTest::newRow("30 minutes: 1-minute steps") << 1800;
    QTest::newRow("one hour") << 3600;
    QTest::newRow("one day") << 86400;
}

void TstChartWidget::ticksKeepARangeStartingOnAStep()
{
    QFETCH(int, spanSeconds);
    ThreeLines t;
    int onAStep = 0;
    // Data starting on every hour and ending on the second, as readings give them.
    for (int hour = 0; hour < 24; ++hour) {
        t.a->clear();
        t.a->addXY(clock(hour, 0, 0), 1);
        const int end = hour * 3600 + spanSeconds;
        t.a->addXY(Day + end / 86400.0, 2);
        t.chart.updateRanges();
        const ChartLayout l = t.chart.chartLayout();
        const qint64 stepMs = qRound64(l.timeStep * 86400000);
        QVERIFY(!l.timeTicks.empty());
        if (qint64(hour) * 3600000 % stepMs == 0) {
            ++onAStep;
            QVERIFY2(std::abs(l.timeTicks.front() - l.timeMin) < l.timeStep * 1e-3, qPrintable(QString::number(hour)));
            QCOMPARE(l.timeTexts.front(), ChartWidget::timeLabel(l.timeMin));
            QCOMPARE(l.timeLabels.front().left() + l.timeLabels.front().width() / 2, l.plot.left());
        }
        if (qint64(end) * 1000 % stepMs == 0)
            QVERIFY2(std::abs(l.timeTicks.back() - l.timeMax) < l.timeStep * 1e-3, qPrintable(QString::number(hour)));
    }
    QVERIFY(onAStep >= 12);
}

void TstChartWidget::legendSampleRoundsHalvesToEven()
{
    // 30 % of (widest text + 4) is a half exactly when that sum ends in 5; find titles
    // making it so with an even and an odd integer part.
    ThreeLines t;
    const QFontMetrics fm(t.chart.font());
    int checkedTies = 0;
    for (int n = 1; n < 80; ++n) {
        const QString title(n, QLatin1Char('x'));
        const int sum = fm.horizontalAdvance(title) + 4;
        if (sum % 10 != 5)
            continue;
        ChartWidget chart;
        chart.resize(780, 540);
        chart.addSeries(title, Qt::blue);
        chart.addSeries(QStringLiteral("a"), Qt::red);
        const int expected = int(std::nearbyint(3.0 * sum / 10));  // ties to even
        QCOMPARE(chart.chartLayout().legendSamples.at(0).width(), expected);
        QCOMPARE(chart.chartLayout().legendSamples.at(1).width(), expected);
        ++checkedTies;
    }
    QVERIFY(checkedTies >= 2);
}

void TstChartWidget::timeOfDayMappingDrivesTexts()
{
    ShownDay t;
    const ChartLayout plain = t.chart.chartLayout();
    // Labels an hour later than X, as a summer-time correction would make them.
    t.chart.setTimeOfDay([](double x) { return QTime(0, 0).addMSecs(qRound64((x - std::floor(x)) * 86400000)).addSecs(3600); });
    hover(t.chart, at(plain, 0.5, 0.5));
    const ChartLayout shifted = t.chart.chartLayout();
    QCOMPARE(shifted.timeTicks, plain.timeTicks);
    for (std::size_t i = 0; i < shifted.timeTicks.size(); ++i)
        QCOMPARE(shifted.timeTexts[i], ChartWidget::timeLabel(shifted.timeTicks[i] + 1.0 / 24));
    QVERIFY(shifted.readOut.shown);
    QCOMPARE(shifted.readOut.time.left(5), ChartWidget::timeLabel(shifted.readOut.x + 1.0 / 24));
}

void TstChartWidget::viewChanges_data()
{
    // Expected ranges as fractions of the automatic ones; NaN: the axis stays automatic.
    QTest::addColumn<QString>("action");
    QTest::addColumn<double>("timeLo");
    QTest::addColumn<double>("timeHi");
    QTest::addColumn<double>("valueLo");
    QTest::addColumn<double>("valueHi");
    const double automatic = NAN;
    QTest::newRow("wheel forward zooms in around the cursor") << "wheel +120 at 0.25" << 0.05 << 0.85 << automatic << automatic;
    QTest::newRow("two notches zoom further") << "wheel +240 at 0.5" << 0.18 << 0.82 << automatic << automatic;
    QTest::newRow("wheel back zooms out") << "wheel -120 at 0.5" << -0.125 << 1.125 << automatic << automatic;
    QTest::newRow("Ctrl+wheel zooms the values") << "ctrl wheel +120 at 0.75" << automatic << automatic << 0.15 << 0.95;
    QTest::newRow("left drag pans") << "left drag 0.5 to 0.6" << -0.1 << 0.9 << automatic << automatic;
    QTest::newRow("a tiny drag is a click") << "left drag 0.5 to 0.502" << automatic << automatic << automatic << automatic;
    QTest::newRow("Shift+drag zooms to the rectangle") << "shift drag" << 0.2 << 0.4 << 0.2 << 0.8;
    QTest::newRow("right drag zooms to the rectangle") << "right drag" << 0.2 << 0.4 << 0.2 << 0.8;
    QTest::newRow("plus key zooms in") << "key +" << 0.1 << 0.9 << automatic << automatic;
    QTest::newRow("minus key zooms out") << "key -" << -0.125 << 1.125 << automatic << automatic;
    QTest::newRow("Ctrl+plus zooms the values") << "ctrl key +" << automatic << automatic << 0.1 << 0.9;
    QTest::newRow("right arrow shows later") << "key right" << 0.1 << 1.1 << automatic << automatic;
    QTest::newRow("left arrow shows earlier") << "key left" << -0.1 << 0.9 << automatic << automatic;
    QTest::newRow("up arrow shows higher values") << "key up" << automatic << automatic << 0.1 << 1.1;
}

void TstChartWidget::viewChanges()
{
    QFETCH(QString, action);
    QFETCH(double, timeLo);
    QFETCH(double, timeHi);
    QFETCH(double, valueLo);
    QFETCH(double, valueHi);
    ShownDay t;
    const ChartLayout before = t.chart.chartLayout();
    QVERIFY(before.manualSign.isNull());
    const QRegularExpression wheelRe(QStringLiteral("^(ctrl )?wheel ([-+]\\d+) at ([\\d.]+)$"));
    const QRegularExpression dragRe(QStringLiteral("^left drag ([\\d.]+) to ([\\d.]+)$"));
    if (const auto m = wheelRe.match(action); m.hasMatch()) {
        const double f = m.captured(3).toDouble();
        wheel(t.chart, at(before, f, f), m.captured(2).toInt(), m.hasCaptured(1) ? Qt::ControlModifier : Qt::NoModifier);
    } else if (const auto m = dragRe.match(action); m.hasMatch()) {
        drag(t.chart, Qt::LeftButton, {}, at(before, m.captured(1).toDouble(), 0.5), at(before, m.captured(2).toDouble(), 0.5));
    } else if (action == QLatin1String("shift drag")) {
        drag(t.chart, Qt::LeftButton, Qt::ShiftModifier, at(before, 0.4, 0.2), at(before, 0.2, 0.8));
    } else if (action == QLatin1String("right drag")) {
        drag(t.chart, Qt::RightButton, {}, at(before, 0.2, 0.8), at(before, 0.4, 0.2));
    } else {
        const QHash<QString, Qt::Key> keys{{"+", Qt::Key_Plus}, {"-", Qt::Key_Minus}, {"right", Qt::Key_Right},
                                           {"left", Qt::Key_Left}, {"up", Qt::Key_Up}};
        const QStringList words = action.split(QLatin1Char(' '));
        QTest::keyClick(&t.chart, keys.value(words.last()), words.first() == QLatin1String("ctrl") ? Qt::ControlModifier : Qt::NoModifier);
    }
    t.chart.grab();
    const ChartLayout after = t.chart.chartLayout();
    const double timeSpan = before.timeMax - before.timeMin;
    const double valueSpan = before.valueMax - before.valueMin;
    const double tolerance = 2.0 / before.plot.width();  // positions are whole pixels
    QCOMPARE(t.chart.bottomAxis()->automatic(), std::isnan(timeLo));
    QCOMPARE(t.chart.leftAxis()->automatic(), std::isnan(valueLo));
    QCOMPARE(after.manualSign.isNull(), std::isnan(timeLo) && std::isnan(valueLo));
    if (std::isnan(timeLo)) {
        QCOMPARE(after.timeMin, before.timeMin);
        QCOMPARE(after.timeMax, before.timeMax);
    } else {
        QVERIFY2(std::abs((after.timeMin - before.timeMin) / timeSpan - timeLo) < tolerance, qPrintable(QString::number((after.timeMin - before.timeMin) / timeSpan)));
        QVERIFY2(std::abs((after.timeMax - before.timeMin) / timeSpan - timeHi) < tolerance, qPrintable(QString::number((after.timeMax - before.timeMin) / timeSpan)));
    }
    if (!std::isnan(valueLo)) {
        QVERIFY2(std::abs((after.valueMin - before.valueMin) / valueSpan - valueLo) < 2 * tolerance, qPrintable(QString::number((after.valueMin - before.valueMin) / valueSpan)));
        QVERIFY2(std::abs((after.valueMax - before.valueMin) / valueSpan - valueHi) < 2 * tolerance, qPrintable(QString::number((after.valueMax - before.valueMin) / valueSpan)));
    } else {
        // Automatic values fit what the shown time range holds.
        double lo = INFINITY, hi = -INFINITY;
        for (LineSeries* s : {t.a, t.b}) {
            for (std::size_t i = 0; i < s->count(); ++i) {
                if (s->x(i) >= after.timeMin && s->x(i) <= after.timeMax) {
                    lo = std::min(lo, s->y(i));
                    hi = std::max(hi, s->y(i));
                }
            }
        }
        QVERIFY(std::abs(after.valueMin - lo) < 0.05 && std::abs(after.valueMax - hi) < 0.05);
    }
}

void TstChartWidget::resetReturnsToAutomatic_data()
{
    QTest::addColumn<QString>("reset");
    QTest::newRow("double-click in the plot") << "double-click";
    QTest::newRow("Home") << "home";
    QTest::newRow("Esc") << "esc";
    QTest::newRow("click on the view sign") << "sign";
    QTest::newRow("resetView, as a file load calls it") << "call";
}

void TstChartWidget::resetReturnsToAutomatic()
{
    QFETCH(QString, reset);
    ShownDay t;
    const ChartLayout full = t.chart.chartLayout();
    wheel(t.chart, at(full, 0.3, 0.3), 360);
    wheel(t.chart, at(full, 0.3, 0.3), 120, Qt::ControlModifier);
    t.chart.grab();
    const ChartLayout zoomed = t.chart.chartLayout();
    QVERIFY(zoomed.timeMax - zoomed.timeMin < 0.6 * (full.timeMax - full.timeMin));
    QVERIFY(!zoomed.manualSign.isNull());
    if (reset == QLatin1String("double-click"))
        QTest::mouseDClick(&t.chart, Qt::LeftButton, {}, at(zoomed, 0.5, 0.5));
    else if (reset == QLatin1String("home"))
        QTest::keyClick(&t.chart, Qt::Key_Home);
    else if (reset == QLatin1String("esc"))
        QTest::keyClick(&t.chart, Qt::Key_Escape);
    else if (reset == QLatin1String("sign"))
        QTest::mouseClick(&t.chart, Qt::LeftButton, {}, zoomed.manualSign.center());
    else
        t.chart.resetView();
    t.chart.grab();
    const ChartLayout after = t.chart.chartLayout();
    QVERIFY(t.chart.bottomAxis()->automatic() && t.chart.leftAxis()->automatic());
    QCOMPARE(after.timeMin, full.timeMin);
    QCOMPARE(after.timeMax, full.timeMax);
    QCOMPARE(after.valueMin, full.valueMin);
    QCOMPARE(after.valueMax, full.valueMax);
    QVERIFY(after.manualSign.isNull());
}

void TstChartWidget::zoomedViewWhileMeasuring_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("follows");
    QTest::newRow("zoomed in the middle stays put") << "wheel at 0.5" << false;
    QTest::newRow("zoomed at the right end follows") << "wheel at 1" << true;
    QTest::newRow("panned past the newest point keeps its distance") << "key right" << true;
    QTest::newRow("panned back stays put") << "key left" << false;
    QTest::newRow("values zoomed, time still automatic") << "ctrl wheel" << true;
}

void TstChartWidget::zoomedViewWhileMeasuring()
{
    QFETCH(QString, action);
    QFETCH(bool, follows);
    ShownDay t;
    const ChartLayout full = t.chart.chartLayout();
    if (action == QLatin1String("wheel at 0.5"))
        wheel(t.chart, at(full, 0.5, 0.5), 240);
    else if (action == QLatin1String("wheel at 1"))
        wheel(t.chart, full.plot.topRight() + QPoint(0, 20), 240);
    else if (action == QLatin1String("ctrl wheel"))
        wheel(t.chart, at(full, 0.5, 0.5), 240, Qt::ControlModifier);
    else
        QTest::keyClick(&t.chart, action.endsWith(QLatin1String("right")) ? Qt::Key_Right : Qt::Key_Left);
    t.chart.grab();
    const ChartLayout before = t.chart.chartLayout();
    const double newest = t.a->x(t.a->count() - 1);
    const double gap = before.timeMax - newest;
    // An hour of readings arrives.
    for (int i = 1; i <= 60; ++i) {
        t.a->addXY(newest + i * Minute, 25);
        t.b->addXY(newest + i * Minute, 45);
    }
    t.chart.grab();
    const ChartLayout after = t.chart.chartLayout();
    QCOMPARE(t.a->count(), std::size_t(1441 + 60));
    const double span = before.timeMax - before.timeMin;
    if (t.chart.bottomAxis()->automatic())
        QCOMPARE(after.timeMin, before.timeMin);
    else
        QVERIFY(std::abs((after.timeMax - after.timeMin) - span) < span * 1e-9);
    if (follows) {
        QVERIFY(std::abs(after.timeMax - (newest + 60 * Minute + std::max(0.0, gap))) < span * 1e-6);
    } else {
        QCOMPARE(after.timeMin, before.timeMin);
        QCOMPARE(after.timeMax, before.timeMax);
    }
}

void TstChartWidget::readOut_data()
{
    // Line a has points at these minutes past midnight; line b one every minute.
    // The view shows minutes 8 to 35; the read-out takes the moment of the point nearest
    // the cursor, then each line's point nearest that moment.
    QTest::addColumn<double>("cursor");
    QTest::addColumn<int>("aIndex");
    QTest::addColumn<int>("bIndex");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("aText");
    QTest::addColumn<double>("days");  // how far before minute 8 the view begins; 0: it begins there
    QTest::addColumn<double>("joining");  // line a's joining distance in minutes; 0: joins all
    QTest::newRow("on a point") << 20.0 << 2 << 20 << "00:20:00" << "2,50 °Cdp" << 0.0 << 0.0;
    QTest::newRow("between, nearer the earlier") << 22.1 << 2 << 22 << "00:22:00" << "2,50 °Cdp" << 0.0 << 0.0;
    QTest::newRow("between, nearer the later") << 23.9 << 3 << 24 << "00:24:00" << "-3,25 °Cdp" << 0.0 << 0.0;
    QTest::newRow("left end reads the point before the view") << 8.1 << 1 << 8 << "00:08:00" << "1,25 °Cdp" << 0.0 << 0.0;
    QTest::newRow("right end reads the point after the view") << 34.9 << 5 << 35 << "00:35:00" << "6,00 °Cdp" << 0.0 << 0.0;
    // Minutes per pixel: only the date and line a's point are certain.
    QTest::newRow("a view over a day long shows the date") << 20.0 << 2 << -1 << "7.12.2026 00:" << "2,50 °Cdp" << 2.0 << 0.0;
    // Line a breaks between minutes 7 and 20; line b's point is read there.
    QTest::newRow("inside a break of one line") << 12.0 << 1 << 12 << "00:12:00" << "no reading °Cdp" << 0.0 << 10.0;
    QTest::newRow("a gap shorter than the joining distance") << 24.9 << 3 << 25 << "00:25:00" << "-3,25 °Cdp" << 0.0 << 10.0;
}

void TstChartWidget::readOut()
{
    QFETCH(double, cursor);
    QFETCH(int, aIndex);
    QFETCH(int, bIndex);
    QFETCH(QString, time);
    QFETCH(QString, aText);
    QFETCH(double, days);
    QFETCH(double, joining);
    QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
    ThreeLines t;
    t.a->setJoiningDistance(joining * Minute);
    const double aMinutes[] = {0, 7, 20, 26, 33, 36, 50};
    const double aValues[] = {0, 1.25, 2.5, -3.25, 4, 6, 7};
    for (int i = 0; i < 7; ++i)
        t.a->addXY(Day + aMinutes[i] * Minute, aValues[i]);
    for (int m = 0; m <= 60; ++m)
        t.b->addXY(Day + m * Minute, 40 + m);
    t.c->addXY(Day + 100 * Minute, 1);  // outside the view: no value read
    t.c->addXY(Day + 110 * Minute, 2);
    t.chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&t.chart));
    t.chart.bottomAxis()->setAutomatic(false);
    t.chart.bottomAxis()->setMaximum(Day + 35 * Minute);
    t.chart.bottomAxis()->setMinimum(Day + 8 * Minute - days);
    t.chart.updateRanges();
    const ChartLayout l = t.chart.chartLayout();
    const double fx = (cursor - 8 + days * 1440) / (27 + days * 1440);
    hover(t.chart, QPoint(int(l.plot.left() + fx * l.plot.width()), l.plot.center().y()));
    const ChartLayout::ReadOut r = t.chart.chartLayout().readOut;
    QVERIFY(r.shown);
    if (days == 0)
        QCOMPARE(r.time, time);
    else
        QVERIFY2(r.time.startsWith(time), qPrintable(r.time));
    QCOMPARE(int(r.values.size()), 2);
    QCOMPARE(r.values[0].series, 0);
    QCOMPARE(int(r.values[0].index), aIndex);
    QCOMPARE(r.values[0].text, aText);
    QCOMPARE(r.values[1].series, 1);
    if (bIndex >= 0)
        QCOMPARE(int(r.values[1].index), bIndex);
    QVERIFY(l.plot.contains(r.box));
    // The read-out is drawn: line b's colour inside its box.
    QVERIFY(hasColour(t.chart.grab().toImage(), r.box, QColor(0, 128, 0)));
    // Leaving the plot hides it.
    QTest::mouseMove(&t.chart, l.legend.center());
    QVERIFY(!t.chart.chartLayout().readOut.shown);
    QTest::mouseMove(&t.chart, l.plot.center());
    QVERIFY(t.chart.chartLayout().readOut.shown);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&t.chart, &leave);
    QVERIFY(!t.chart.chartLayout().readOut.shown);
}

void TstChartWidget::hidingALine_data()
{
    QTest::addColumn<int>("hidden");
    QTest::addColumn<int>("clicks");
    QTest::addColumn<double>("valueMin");
    QTest::addColumn<double>("valueMax");
    QTest::addColumn<double>("timeSpan");  // days
    QTest::newRow("hiding the highest line") << 1 << 1 << -20.0 << 10.0 << 2.0;
    QTest::newRow("hiding the longest line") << 2 << 1 << 0.0 << 60.0 << 1.0;
    QTest::newRow("clicking again shows it") << 2 << 2 << -20.0 << 60.0 << 2.0;
}

void TstChartWidget::hidingALine()
{
    QFETCH(int, hidden);
    QFETCH(int, clicks);
    QFETCH(double, valueMin);
    QFETCH(double, valueMax);
    QFETCH(double, timeSpan);
    ThreeLines t;
    for (int i = 0; i <= 10; ++i) {
        t.a->addXY(Day + i * 0.1, i);
        t.b->addXY(Day + i * 0.1, 50 + i);
        t.c->addXY(Day + i * 0.2, -20 + i);
    }
    t.chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&t.chart));
    for (int i = 0; i < clicks; ++i) {
        QTest::mouseClick(&t.chart, Qt::LeftButton, {}, t.chart.chartLayout().legendEntries.at(hidden).center());
        QTest::mouseMove(&t.chart, QPoint(1, 1));  // no read-out over the lines
    }
    const QImage image = t.chart.grab().toImage();
    const ChartLayout l = t.chart.chartLayout();
    QCOMPARE(l.valueMin, valueMin);
    QCOMPARE(l.valueMax, valueMax);
    QVERIFY(std::abs(l.timeMax - l.timeMin - timeSpan) < 1e-9);
    const bool shown = clicks % 2 == 0;
    const QColor colour = t.chart.series(hidden)->color();
    QCOMPARE(t.chart.series(hidden)->visible(), shown);
    QCOMPARE(hasColour(image, l.plot, colour), shown);
    QCOMPARE(hasColour(image, l.legendSamples.at(hidden), colour), shown);
    QVERIFY(hasColour(image, l.plot, t.chart.series(0)->color()));
}

void TstChartWidget::savedFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("scale");
    QTest::newRow("PNG at the chart's size") << "chart.png" << 1.0;
    QTest::newRow("PNG twice as large") << "chart.png" << 2.0;
    QTest::newRow("SVG at the chart's size") << "chart.svg" << 1.0;
    QTest::newRow("SVG three times as large") << "chart.svg" << 3.0;
    QTest::newRow("PDF print") << "chart.pdf" << 1.0;
    QTest::newRow("a folder that does not exist") << "missing/chart.png" << 1.0;
}

void TstChartWidget::savedFiles()
{
    QFETCH(QString, name);
    QFETCH(double, scale);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    ShownDay t;
    t.c->addXY(Day + 0.5, 30);
    t.c->setVisible(false);
    const QImage screen = t.chart.grab().toImage();
    hover(t.chart, t.chart.chartLayout().plot.center());  // the read-out is not saved
    QVERIFY(t.chart.chartLayout().readOut.shown);
    QString error;
    if (name.endsWith(QLatin1String(".pdf"))) {
        QPrinter printer;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(path);
        QVERIFY(t.chart.print(printer));
        QFile pdf(path);
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        QVERIFY(pdf.read(5) == "%PDF-");
        // The chart as a picture, not an empty page; the cross-built Windows Qt writes it in
        // 19.6 kB, Debian's Qt in more.
        QVERIFY2(pdf.size() > 10000, qPrintable(QString::number(pdf.size())));
        return;
    }
#if !HMX700_SVG
    if (name.endsWith(QLatin1String(".svg"))) {
        // Built without Qt Svg: refused, and nothing written.
        QVERIFY(!t.chart.saveImage(path, scale, &error));
        QVERIFY(!QFile::exists(path));
        QSKIP("no SVG writer in this build");
    }
#endif
    const bool saved = t.chart.saveImage(path, scale, &error);
    if (name.startsWith(QLatin1String("missing"))) {
        QVERIFY(!saved);
        QVERIFY2(error.contains(QStringLiteral("chart.png")), qPrintable(error));
        QVERIFY(!QFile::exists(path));
        return;
    }
    QVERIFY2(saved, qPrintable(error));
    const QSize expected = (QSizeF(t.chart.size()) * scale).toSize();
    if (name.endsWith(QLatin1String(".png"))) {
        const QImage image(path);
        QCOMPARE(image.size(), expected);
        if (scale == 1)
            QCOMPARE(image.convertToFormat(QImage::Format_RGB32), screen.convertToFormat(QImage::Format_RGB32));
        QVERIFY(hasColour(image, image.rect(), QColor(0, 0, 255)));
        QVERIFY(!hasColour(image, image.rect(), QColor(255, 0, 0)));
        return;
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray svg = file.readAll();
    QXmlStreamReader xml(svg);
    QVERIFY(xml.readNextStartElement());
    QCOMPARE(xml.name(), QStringLiteral("svg"));
    QCOMPARE(xml.attributes().value(QStringLiteral("viewBox")).toString(), QStringLiteral("0 0 780 540"));
    // Width and height in millimetres at the screen's resolution.
    const double mmPerPixel = 25.4 / t.chart.logicalDpiX();
    QVERIFY(std::abs(xml.attributes().value(QStringLiteral("width")).toString().remove(QStringLiteral("mm")).toDouble() / mmPerPixel - expected.width()) < 1);
    QVERIFY(std::abs(xml.attributes().value(QStringLiteral("height")).toString().remove(QStringLiteral("mm")).toDouble() / mmPerPixel - expected.height()) < 1);
    QVERIFY(svg.contains("#0000ff") && svg.contains("#008000"));
    QVERIFY(!svg.contains("#ff0000"));  // the hidden line
    QVERIFY(svg.contains("Title"));
    QVERIFY(svg.size() < 400000);  // drawn from per-column summaries, not 1441 x 9 segments
}

void TstChartWidget::exportCsv_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<bool>("zoomed");
    QTest::addColumn<QString>("expected");
    QTest::newRow("C locale, whole range")
        << QLocale::c() << false
        << QStringLiteral("Time,°Cdp,%Rh,Date and time (ISO 8601)\r\n12:00:00.000,1.5,40,2026-12-07T12:00:00.000\r\n"
                          "12:00:00.500,-2.25,41,2026-12-07T12:00:00.500\r\n12:00:01.000,3,42.5,2026-12-07T12:00:01.000\r\n"
                          "12:00:02.000,,43,2026-12-07T12:00:02.000\r\n");
    QTest::newRow("Polish locale: decimal comma, semicolons")
        << QLocale(QLocale::Polish, QLocale::Poland) << false
        << QStringLiteral("Time;°Cdp;%Rh;Date and time (ISO 8601)\r\n12:00:00,000;1,5;40;2026-12-07T12:00:00.000\r\n"
                          "12:00:00,500;-2,25;41;2026-12-07T12:00:00.500\r\n12:00:01,000;3;42,5;2026-12-07T12:00:01.000\r\n"
                          "12:00:02,000;;43;2026-12-07T12:00:02.000\r\n");
    QTest::newRow("zoomed: only the shown range")
        << QLocale::c() << true
        << QStringLiteral("Time,°Cdp,%Rh,Date and time (ISO 8601)\r\n12:00:00.500,-2.25,41,2026-12-07T12:00:00.500\r\n"
                          "12:00:01.000,3,42.5,2026-12-07T12:00:01.000\r\n");
}

void TstChartWidget::exportCsv()
{
    QFETCH(QLocale, locale);
    QFETCH(bool, zoomed);
    QFETCH(QString, expected);
    QLocale::setDefault(locale);
    ThreeLines t;
    const int ms[] = {0, 500, 1000};
    const double a[] = {1.5, -2.25, 3};
    for (int i = 0; i < 3; ++i) {
        t.a->addXY(clock(12, 0, 0, ms[i]), a[i]);
        t.b->addXY(clock(12, 0, 0, ms[i]) + 0.0003 / 86400, 40 + i + (i == 2 ? 0.5 : 0));  // 0.3 ms later: same row
    }
    t.b->addXY(clock(12, 0, 2), 43);
    t.c->addXY(clock(12, 0, 1), 99);
    t.c->setVisible(false);
    if (zoomed) {
        t.chart.bottomAxis()->setAutomatic(false);
        t.chart.bottomAxis()->setMaximum(clock(12, 0, 1, 200));
        t.chart.bottomAxis()->setMinimum(clock(12, 0, 0, 400));
    }
    QTemporaryDir dir;
    QString error;
    QVERIFY2(t.chart.exportCsv(dir.filePath(QStringLiteral("data.csv")), &error), qPrintable(error));
    QFile file(dir.filePath(QStringLiteral("data.csv")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), "\xEF\xBB\xBF" + expected.toUtf8());  // with a byte-order mark
    QVERIFY(!t.chart.exportCsv(dir.filePath(QStringLiteral("missing/data.csv")), &error));
    QVERIFY(error.contains(QStringLiteral("data.csv")));
    // Never over a device, nor over a file it is told to keep, under another name too.
#ifdef Q_OS_WIN
    const QString device = QStringLiteral("NUL");
#else
    const QString device = QStringLiteral("/dev/null");
#endif
    QVERIFY(!t.chart.exportCsv(device, &error));
    QVERIFY2(error.contains(t.chart.texts().notRegularFile), qPrintable(error));
    t.chart.setKeptFiles([&dir](const QString&) { return QStringList{dir.filePath(QStringLiteral("data.csv"))}; });
    QVERIFY(!t.chart.saveImage(dir.filePath(QStringLiteral("./data.csv")), 1, &error));
    QVERIFY(file.seek(0));
    QCOMPARE(file.readAll(), "\xEF\xBB\xBF" + expected.toUtf8());
}

void TstChartWidget::contextMenuCopiesTheImage()
{
    ShownDay t;
    hmx::chart::ChartTexts texts;
    texts.copyImage = QStringLiteral("Kopiuj");
    t.chart.setTexts(texts);
    QTest::mouseClick(&t.chart, Qt::RightButton, {}, t.chart.chartLayout().plot.center());
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    QVERIFY(menu);
    QStringList shown;
    for (QAction* a : menu->actions())
        if (!a->isSeparator())
            shown << a->text();
    QCOMPARE(shown, (QStringList{texts.resetView, texts.saveImage, texts.copyImage, texts.print, texts.exportCsv}));
    QApplication::clipboard()->clear();
    menu->actions().at(menu->actions().indexOf(t.chart.menuActions().at(2)))->trigger();
    menu->close();
    QCOMPARE(QApplication::clipboard()->image().size(), t.chart.size());
    // The right click did not zoom.
    QVERIFY(t.chart.bottomAxis()->automatic() && t.chart.leftAxis()->automatic());
}

void TstChartWidget::spikeShowsInItsColumn()
{
    ThreeLines t;
    const int n = 100000;
    const int spike = 61234;
    for (int i = 0; i < n; ++i)
        t.b->addXY(Day + i / double(n), i == spike ? 100.0 : 50.0 + (i % 3));
    t.a->addXY(Day, 0);
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
    QTest::addColumn<bool>("lost");  // no points from 0.3 to 0.4 of the day: the lines break there
    QTest::newRow("10^5 noisy points") << 100000 << false << false;
    QTest::newRow("manual time window inside the data") << 100000 << true << false;
    QTest::newRow("a lost period") << 100000 << false << true;
    QTest::newRow("a manual window beginning inside a lost period") << 100000 << true << true;
}

void TstChartWidget::decimatedDrawingMatchesFullDrawing()
{
    QFETCH(int, count);
    QFETCH(bool, manualWindow);
    QFETCH(bool, lost);
    ThreeLines t;
    const double lostFrom = 0.3, lostTo = 0.4;
    for (LineSeries* line : {t.a, t.b, t.c})
        line->setJoiningDistance(lost ? 2.0 / count : 0);
    std::mt19937 random(3);
    std::normal_distribution<double> noise(0, 0.3);
    double walk = 20;
    for (int i = 0; i < count; ++i) {
        walk += noise(random);
        const double x = Day + i / double(count);
        if (lost && x >= Day + lostFrom && x < Day + lostTo)
            continue;
        t.a->addXY(x, walk);
        t.b->addXY(x, 40 + 10 * std::sin(i * 1e-4) + noise(random));
        t.c->addXY(x, 25 + (i % 5000 == 0 ? 8 : 0));
    }
    if (manualWindow) {
        t.chart.bottomAxis()->setAutomatic(false);
        t.chart.bottomAxis()->setMaximum(Day + 0.6);
        t.chart.bottomAxis()->setMinimum(Day + (lost ? 0.35 : 0.2));
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
    if (!lost)
        return;
    // No line's colour in the columns of the lost period, drawn or decimated; the
    // columns either side of it have every line.
    const ChartLayout l = t.chart.chartLayout();
    auto px = [&](double x) { return l.plot.left() + (x - l.timeMin) / (l.timeMax - l.timeMin) * l.plot.width(); };
    const int gapLeft = std::max(l.plot.left() + 1, int(std::ceil(px(Day + lostFrom))) + 2);
    const int gapRight = int(std::floor(px(Day + lostTo))) - 2;
    QVERIFY(gapRight - gapLeft > 20);
    const QRect gap(gapLeft, l.plot.top(), gapRight - gapLeft, l.plot.height());
    const QRect after(gapRight + 4, l.plot.top(), 10, l.plot.height());
    for (LineSeries* line : {t.a, t.b, t.c}) {
        QVERIFY(!hasColour(decimated, gap, line->color()));
        QVERIFY(!hasColour(full, gap, line->color()));
        QVERIFY(hasColour(decimated, after, line->color()));
    }
    if (!manualWindow) {
        const QRect before(gapLeft - 14, l.plot.top(), 10, l.plot.height());
        for (LineSeries* line : {t.a, t.b, t.c})
            QVERIFY(hasColour(decimated, before, line->color()));
    }
    // The read-out inside it reads the cursor's moment and no value of any line.
    t.chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&t.chart));
    hover(t.chart, QPoint((gapLeft + gapRight) / 2, l.plot.center().y()));
    const ChartLayout::ReadOut r = t.chart.chartLayout().readOut;
    QVERIFY(r.shown);
    QVERIFY(r.x > Day + lostFrom && r.x < Day + lostTo);
    QCOMPARE(int(r.values.size()), 3);
    for (const ChartLayout::Value& v : r.values)
        QVERIFY2(v.text.startsWith(QStringLiteral("no reading ")), qPrintable(v.text));
}

void TstChartWidget::limitLines_data()
{
    // Line b rises from 40 to 60 over an hour; one limit line of it at `value`.
    QTest::addColumn<int>("kind");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("label");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<double>("least");  // of the plot's width, the row of the limit has in b's colour
    QTest::addColumn<double>("most");
    QTest::newRow("alarm: solid") << int(LimitLine::Kind::Alarm) << 55.0 << "" << true << 0.95 << 1.0;
    QTest::newRow("warning: dashed") << int(LimitLine::Kind::Warning) << 45.0 << "" << true << 0.4 << 0.8;
    QTest::newRow("threshold: dashed, labelled") << int(LimitLine::Kind::Threshold) << 50.0 << "A1" << true << 0.3 << 0.7;
    QTest::newRow("outside the value range: not drawn") << int(LimitLine::Kind::Alarm) << 61.0 << "" << true << 0.0 << 0.1;
    QTest::newRow("of a hidden line: not drawn") << int(LimitLine::Kind::Alarm) << 55.0 << "" << false << 0.0 << 0.0;
}

void TstChartWidget::limitLines()
{
    QFETCH(int, kind);
    QFETCH(double, value);
    QFETCH(QString, label);
    QFETCH(bool, visible);
    QFETCH(double, least);
    QFETCH(double, most);
    ThreeLines t;
    for (int m = 0; m <= 60; ++m)
        t.b->addXY(Day + m * Minute, 40 + m / 3.0);
    t.b->setVisible(visible);
    t.a->addXY(Day, 40);  // keeps the value range when b is hidden
    t.a->addXY(Day + 60 * Minute, 60);
    t.chart.setLimitLines(1, {{value, LimitLine::Kind(kind), label}});
    QCOMPARE(t.chart.limitLines(1).size(), std::size_t(1));
    const QImage image = t.chart.grab().toImage();
    const ChartLayout l = t.chart.chartLayout();
    QCOMPARE(l.valueMin, 40.0);  // the limit does not move the automatic range
    QCOMPARE(l.valueMax, 60.0);
    int bestRow = -1;
    double best = 0;
    for (int y = l.plot.top(); y < l.plot.bottom(); ++y) {
        int coloured = 0;
        for (int x = l.plot.left() + 1; x < l.plot.right(); ++x)
            coloured += image.pixelColor(x, y) == t.b->color();
        if (coloured > best * (l.plot.width() - 2)) {
            best = coloured / double(l.plot.width() - 2);
            bestRow = y;
        }
    }
    QVERIFY2(best >= least && best <= most, qPrintable(QString::number(best)));
    if (best < 0.3)
        return;
    // At its value's height.
    const double expectedRow = l.plot.bottom() - PlotMap::ValueInset * l.plot.height()
        - (value - l.valueMin) / (l.valueMax - l.valueMin) * (1 - 2 * PlotMap::ValueInset) * l.plot.height();
    QVERIFY2(std::abs(bestRow - expectedRow) <= 2, qPrintable(QStringLiteral("%1 %2").arg(bestRow).arg(expectedRow)));
    // A label is written above its right end.
    const QRect labelBox(l.plot.right() - 30, bestRow - QFontMetrics(t.chart.font()).height(), 28, QFontMetrics(t.chart.font()).height() - 1);
    QCOMPARE(hasColour(image, labelBox, t.b->color()), !label.isEmpty());
}

void TstChartWidget::shadedPeriods_data()
{
    // Line b has points from minute 0 to 40; the time axis runs to minute 60 (line a).
    QTest::addColumn<double>("from");
    QTest::addColumn<double>("to");  // negative: an open period
    QTest::addColumn<double>("shadedUntil");
    QTest::newRow("closed period") << 10.0 << 20.0 << 20.0;
    QTest::newRow("open period lasts until the line's newest point") << 30.0 << -1.0 << 40.0;
    QTest::newRow("period reaching past the view") << 50.0 << 90.0 << 60.0;
}

void TstChartWidget::shadedPeriods()
{
    QFETCH(double, from);
    QFETCH(double, to);
    QFETCH(double, shadedUntil);
    ThreeLines t;
    for (int m = 0; m <= 40; ++m)
        t.b->addXY(Day + m * Minute, 40);
    t.a->addXY(Day, 60);
    t.a->addXY(Day + 60 * Minute, 60);
    ShadedPeriod period{Day + from * Minute};
    if (to >= 0)
        period.to = Day + to * Minute;
    t.chart.setShadedPeriods(1, {period});
    const QImage image = t.chart.grab().toImage();
    const ChartLayout l = t.chart.chartLayout();
    const QRgb background = t.chart.palette().color(QPalette::Window).rgb();
    auto px = [&](double minute) { return int(l.plot.left() + minute / 60 * l.plot.width()); };
    // Sampled halfway up, between the lines, away from the grid's dots.
    auto shadedIn = [&](const QImage& image, double minute) {
        const int x = px(minute);
        for (int y = l.plot.center().y() - 3; y <= l.plot.center().y() + 3; ++y) {
            const QColor c = image.pixelColor(x, y);
            if (image.pixel(x, y) == background || c == QColor(200, 200, 200))
                continue;
            return c.green() > c.red() && c.green() > c.blue();  // lightly in b's green
        }
        return false;
    };
    auto shaded = [&](double minute) { return shadedIn(image, minute); };
    QVERIFY(!shaded(from - 2));
    QVERIFY(shaded(from + 1));
    QVERIFY(shaded(shadedUntil - 1));
    if (shadedUntil < 60)
        QVERIFY(!shaded(shadedUntil + 2));
    t.b->setVisible(false);
    QVERIFY(!shadedIn(t.chart.grab().toImage(), from + 1));
}

QTEST_MAIN(TstChartWidget)
#include "tst_chartwidget.moc"
