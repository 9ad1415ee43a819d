// Chart1's configuration and the line operations the rest of the program relies on.
#include "report/chartview.h"

#include "instrument/charttime.h"

#include <QAction>
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

QTEST_MAIN(TstChartView)
#include "tst_chartview.moc"
