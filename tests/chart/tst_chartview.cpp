// Chart1's configuration and the line operations the rest of the program relies on.
#include "report/chartview.h"

#include "instrument/charttime.h"
#include "readings/lines.h"
#include "report/runreport.h"

#include <QAction>
#include <QRandomGenerator>
#include <QDateTime>
#include <QTest>
#include <QTimeZone>

#include <ctime>

using hmx::chart::ChartWidget;

class TstChartView : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void summerTimeChange_data();
    void summerTimeChange();
    void lines_data();
    void lines();
    void titleAndAxes();
    void clearingDewPointKeepsTheOthers();
    void menuTextsAreInTheInterfaceLanguage();
    void severalInstrumentsEachByItsOwn();
};

void TstChartView::initTestCase()
{
    // A zone with summer time, before anything asks for the system's zone.
    qputenv("TZ", "Europe/Warsaw");
    tzset();
}

void TstChartView::summerTimeChange_data()
{
    QTest::addColumn<QDateTime>("first");  // UTC
    QTest::addColumn<int>("minutes");      // the span walked in steps of 10 minutes
    QTest::addColumn<QStringList>("labels");
    // 03:00 CEST falls back to 02:00 CET: the half hour from 02:00 comes twice.
    QTest::newRow("clock falls back") << QDateTime(QDate(2026, 10, 25), QTime(0, 0), Qt::UTC) << 120
                                      << QStringList{"02:00", "02:10", "02:20", "02:30", "02:40", "02:50", "02:00",
                                                     "02:10", "02:20", "02:30", "02:40", "02:50", "03:00"};
    // 02:00 CET springs forward to 03:00 CEST.
    QTest::newRow("clock springs forward") << QDateTime(QDate(2026, 3, 29), QTime(0, 30), Qt::UTC) << 60
                                           << QStringList{"01:30", "01:40", "01:50", "03:00", "03:10", "03:20", "03:30"};
    QTest::newRow("winter") << QDateTime(QDate(2026, 1, 15), QTime(23, 50), Qt::UTC) << 20
                            << QStringList{"00:50", "01:00", "01:10"};
}

void TstChartView::summerTimeChange()
{
    QFETCH(QDateTime, first);
    QFETCH(int, minutes);
    QFETCH(QStringList, labels);
    if (!QTimeZone::systemTimeZone().hasDaylightTime())
        QSKIP("the zone database has no Europe/Warsaw");
    ChartWidget chart;
    hmx::ConfigureChart1(chart, hmx::Language::Polish);
    // What the live lines get at each moment, and what the chart writes for it.
    double previous = -1;
    QStringList shown;
    for (int m = 0; m <= minutes; m += 10) {
        const QDateTime moment = first.addSecs(m * 60);
        const double x = hmx::ChartX(moment.toMSecsSinceEpoch());
        QVERIFY2(x > previous, qPrintable(moment.toString(Qt::ISODate)));
        // Always as far on as real time went: the line never runs back.
        if (previous >= 0)
            QCOMPARE(qRound((x - previous) * 86400), 600);
        previous = x;
        shown << chart.timeOfDay(x).toString(QStringLiteral("hh:mm"));
    }
    QCOMPARE(shown, labels);
    // A log line written an hour before, loaded later, lands where the live point was
    // and is labelled with the time it was written.
    const QDateTime written = first.addSecs(-3600);
    const QDateTime local = written.toLocalTime();
    const double localX = QDate(1899, 12, 30).daysTo(local.date()) + local.time().msecsSinceStartOfDay() / 86400000.0;
    const double loaded = hmx::ChartXOfLocal(localX);
    QCOMPARE(qRound((loaded - hmx::ChartX(written.toMSecsSinceEpoch())) * 86400), 0);
    QCOMPARE(chart.timeOfDay(loaded), local.time());
}

void TstChartView::lines_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("Series1 dew point") << 0 << QStringLiteral("°Cdp") << QColor(0, 0, 255);
    QTest::newRow("Series6 humidity") << 1 << QStringLiteral("%Rh") << QColor(0, 128, 0);
    QTest::newRow("Series7 ambient") << 2 << QStringLiteral("°C") << QColor(255, 0, 0);
}

void TstChartView::lines()
{
    QFETCH(int, index);
    QFETCH(QString, title);
    QFETCH(QColor, colour);
    ChartWidget chart;
    const hmx::ChartLines lines = hmx::ConfigureChart1(chart, hmx::Language::Polish);
    QCOMPARE(chart.seriesCount(), 3);
    const hmx::chart::LineSeries* byRole[] = {lines.dewPoint, lines.humidity, lines.ambient};
    QCOMPARE(chart.series(index), byRole[index]);
    QCOMPARE(chart.series(index)->title(), title);
    QCOMPARE(chart.series(index)->color(), colour);
    QCOMPARE(chart.series(index)->lineWidth(), 2);
    QCOMPARE(chart.series(index)->count(), std::size_t(0));
}

void TstChartView::titleAndAxes()
{
    ChartWidget chart;
    hmx::ConfigureChart1(chart, hmx::Language::Polish);
    QCOMPARE(chart.title(), QStringLiteral("Wykres wilgotności i temperatury"));
    QVERIFY(chart.bottomAxis()->automatic());
    QVERIFY(chart.leftAxis()->automatic());
}

void TstChartView::clearingDewPointKeepsTheOthers()
{
    ChartWidget chart;
    chart.resize(780, 540);
    const hmx::ChartLines lines = hmx::ConfigureChart1(chart, hmx::Language::Polish);
    for (int i = 0; i < 10; ++i) {
        lines.dewPoint->addXY(46000 + i * 0.001, 5 + i);
        lines.humidity->addXY(46000 + i * 0.001, 40 + i);
        lines.ambient->addXY(46000 + i * 0.001, 20 + i);
    }
    lines.dewPoint->clear();
    QCOMPARE(lines.dewPoint->count(), std::size_t(0));
    QCOMPARE(lines.humidity->count(), std::size_t(10));
    QCOMPARE(lines.ambient->count(), std::size_t(10));
    QCOMPARE(lines.humidity->y(9), 49.0);
    QCOMPARE(lines.ambient->x(3), 46000 + 3 * 0.001);
    // The value range now comes from the two remaining lines only.
    chart.updateRanges();
    QCOMPARE(chart.leftAxis()->minimum(), 20.0);
    QCOMPARE(chart.leftAxis()->maximum(), 49.0);
    // Refilling after a clear works like a fresh line.
    lines.dewPoint->addXY(46000.5, 1);
    lines.dewPoint->addXY(46000.2, 2);
    QCOMPARE(lines.dewPoint->x(0), 46000.2);
    chart.updateRanges();
    QCOMPARE(chart.leftAxis()->minimum(), 1.0);
}

void TstChartView::menuTextsAreInTheInterfaceLanguage()
{
    // The Polish build (this test's) replaces every English default of the engine.
    ChartWidget chart;
    hmx::ConfigureChart1(chart, hmx::Language::Polish);
    const hmx::chart::ChartTexts english;
    const hmx::chart::ChartTexts& set = chart.texts();
    using T = hmx::chart::ChartTexts;
    for (QString T::*text : {&T::resetView, &T::saveImage, &T::copyImage, &T::print, &T::exportCsv, &T::imageFilter,
                             &T::csvFilter, &T::defaultFileName, &T::imageSizeTitle, &T::imageSizeLabel, &T::errorTitle,
                             &T::cannotWrite, &T::timeColumn, &T::dateTimeColumn, &T::manualView}) {
        QVERIFY2(set.*text != english.*text, qPrintable(set.*text));
        QVERIFY(!(set.*text).isEmpty());
    }
    QCOMPARE(set.cannotWrite.arg(QStringLiteral("a.png"), QStringLiteral("b")).count(QStringLiteral("a.png")), 1);
    QCOMPARE(chart.menuActions().at(0)->text(), set.resetView);
}

void TstChartView::severalInstrumentsEachByItsOwn()
{
    // Two instruments on one chart, as the window draws another beside the shown one: each
    // row of the statistics is the one its line has alone, with its own instrument's limits.
    using hmx::humidity::Quantity;
    using hmx::limits::Bound;
    using hmx::limits::QuantityId;
    ChartWidget chart;
    const hmx::ChartLines own = hmx::ConfigureChart1(chart, hmx::Language::Polish);
    hmx::readings::Lines shown, beside;
    hmx::ShowLines(chart, own, shown);
    constexpr Quantity quantities[] = {Quantity::DewPoint, Quantity::RelativeHumidity, Quantity::Temperature};
    const hmx::chart::LineSeries* ownLines[] = {own.dewPoint, own.humidity, own.ambient};
    for (int q = 0; q < 3; ++q) {
        hmx::chart::LineSeries* line = chart.addSeries(ownLines[q]->title() + QStringLiteral(" – B"), Qt::gray, 1);
        line->setData(beside.line(quantities[q]));
        line->setVisible(q != 2);  // a hidden line has no row
    }
    QRandomGenerator random(11);
    const double start = hmx::ChartX(QDateTime(QDate(2026, 5, 4), QTime(8, 0)).toMSecsSinceEpoch());
    for (hmx::readings::Lines* lines : {&shown, &beside}) {
        for (int i = 0; i < 500; ++i) {
            for (const Quantity q : quantities)
                lines->add(q, start + i * 2.0 / 86400, random.bounded(-200, 800) / 10.0);
        }
    }
    hmx::AlarmPreferences limitsA, limitsB;
    limitsA.limits[QuantityId::Humidity][Bound::AlarmHigh] = 20.0;
    limitsB.limits[QuantityId::Humidity][Bound::AlarmHigh] = 50.0;
    limitsB.limits[QuantityId::DewPoint][Bound::WarningLow] = 0.0;
    const double from = start + 100.0 / 86400, to = start + 700.0 / 86400;

    const hmx::ReportReadings both = hmx::ShownReadings(chart, {&shown, &beside});
    QCOMPARE(both.shown.size(), std::size_t(5));
    for (const hmx::ReportLine& line : both.shown)
        QCOMPARE(line.lines, line.source == 0 ? &shown : &beside);
    const hmx::readings::StatisticsTable table =
        hmx::ReadingsStatistics(both, from, to, std::vector<hmx::AlarmPreferences>{limitsA, limitsB}, hmx::Language::Polish);
    const hmx::readings::StatisticsTable a =
        hmx::ReadingsStatistics(hmx::ShownReadings(chart, shown), from, to, limitsA, hmx::Language::Polish);
    const hmx::readings::StatisticsTable b = hmx::ReadingsStatistics(
        hmx::ShownReadings(chart, std::vector<const hmx::readings::Lines*>{&beside}), from, to, limitsB, hmx::Language::Polish);
    // The columns of time past a limit: every limit of either instrument.
    for (const QStringList& row : table.rows) {
        const hmx::readings::StatisticsTable& alone = row.value(0).endsWith(QStringLiteral(" – B")) ? b : a;
        const auto found = std::find_if(alone.rows.begin(), alone.rows.end(),
                                        [&row](const QStringList& r) { return r.value(0) == row.value(0); });
        QVERIFY2(found != alone.rows.end(), qPrintable(row.value(0)));
        for (qsizetype column = 0; column < alone.header.size(); ++column)
            QCOMPARE(row.value(table.header.indexOf(alone.header[column])), found->value(column));
    }

    // The report names each instrument's facts and sections; one instrument's stays unnamed.
    hmx::RunReportSource sourceA, sourceB;
    sourceA.serialNumber = QStringLiteral("301");
    sourceB.serialNumber = QStringLiteral("303");
    sourceA.name = QStringLiteral("A");
    sourceB.name = QStringLiteral("B");
    const hmx::report::ReportDocument doc = hmx::RunReport(both, {sourceA, sourceB}, {from, to}, hmx::Language::Polish);
    const auto fact = [&doc](const QString& label) {
        for (const auto& [l, value] : doc.facts)
            if (l == label)
                return value;
        return QStringLiteral("(none)");
    };
    QCOMPARE(fact(QStringLiteral("Numer seryjny – A")), QStringLiteral("301"));
    QCOMPARE(fact(QStringLiteral("Numer seryjny – B")), QStringLiteral("303"));
    QStringList titles;
    for (const hmx::report::ReportSection& section : doc.sections)
        titles << section.heading;
    for (const QString& kind : {QStringLiteral("Obowiązujące progi"), QStringLiteral("Plik dziennika")})
        QVERIFY2(titles.contains(kind + QStringLiteral(" – A")) && titles.contains(kind + QStringLiteral(" – B")),
                 qPrintable(titles.join(u'|')));
    sourceA.name.clear();
    const hmx::report::ReportDocument one = hmx::RunReport(hmx::ShownReadings(chart, shown), sourceA, {from, to}, hmx::Language::Polish);
    QCOMPARE(one.facts.size(), doc.facts.size() - 3);
    for (const auto& [label, value] : one.facts)
        QVERIFY2(!label.contains(u'–'), qPrintable(label));
}

QTEST_MAIN(TstChartView)
#include "tst_chartview.moc"
