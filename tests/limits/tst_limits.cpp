// The limit watch as a table of reading sequences, the instrument's alarms converted
// to the lines' units, and the Limits dialog refusing nonsense.
#include "instrument/alarmthresholds.h"
#include "limits/limitwatch.h"
#include "ui/language.h"
#include "ui/limitsdialog.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace hmx;
using namespace hmx::limits;

namespace {

// "ah=20 wh=15 wl=-15 al=-20 h=0.5 d=2": the limits a row sets.
Limits ParseLimits(const QString& text)
{
    Limits l;
    for (const QString& part : text.split(u' ', Qt::SkipEmptyParts)) {
        const QString name = part.section(u'=', 0, 0);
        const double value = part.section(u'=', 1).toDouble();
        if (name == u"ah")
            l[Bound::AlarmHigh] = value;
        else if (name == u"wh")
            l[Bound::WarningHigh] = value;
        else if (name == u"wl")
            l[Bound::WarningLow] = value;
        else if (name == u"al")
            l[Bound::AlarmLow] = value;
        else if (name == u"h")
            l.hysteresis = value;
        else if (name == u"d")
            l.delaySeconds = value;
    }
    return l;
}

QString BoundText(Bound b)
{
    const char* names[] = {"al", "wl", "wh", "ah"};
    return QLatin1String(names[int(b)]);
}

// Readings joined as the live chart joins them.
constexpr Millis Joining = 5000;

} // namespace

class TestLimits : public QObject {
    Q_OBJECT

private slots:
    void watch_data();
    void watch();
    void acknowledgedUntilTheNextCrossing();
    void instrumentAlarms_data();
    void instrumentAlarms();
    void dialogRefuses_data();
    void dialogRefuses();
    void dialogKeepsWhatIsTyped_data();
    void dialogKeepsWhatIsTyped();
    void dialogCopiesInstrumentAlarms();
    void preferencesKeptBetweenRuns();
};

void TestLimits::watch_data()
{
    QTest::addColumn<QString>("limits");
    // "second:value" readings, one a second apart or as given; "second:lost" the
    // instrument lost, "second:ack" an acknowledgement, "second:set=ah=5,d=1" new limits.
    QTest::addColumn<QString>("readings");
    // Events as "second crossed|cleared|acknowledged|removed bound".
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<int>("level");  // the status after the last reading

    QTest::newRow("exactly on the limit is inside") << "ah=20" << "0:19.9 1:20 2:20" << QStringList{} << 0;
    QTest::newRow("just past crosses at once") << "ah=20" << "0:20 1:20.1 2:20" << QStringList{"1 crossed ah", "2 cleared ah"} << 0;
    QTest::newRow("lower limit: exactly on it is inside")
        << "al=-5" << "0:-5 1:-5.1 2:-4.9" << QStringList{"1 crossed al", "2 cleared al"} << 0;
    QTest::newRow("flapping inside the hysteresis is one crossing")
        << "ah=20 h=1" << "0:21 1:19.5 2:20.5 3:19.1 4:22 5:19"
        << QStringList{"0 crossed ah", "5 cleared ah"} << 0;
    QTest::newRow("cleared exactly at limit minus hysteresis")
        << "wh=10 h=0.5" << "0:11 1:9.6 2:9.5" << QStringList{"0 crossed wh", "2 cleared wh"} << 0;
    QTest::newRow("delay met at its end") << "ah=20 d=2" << "0:21 1:21 2:21 3:21"
                                          << QStringList{"2 crossed ah"} << 2;
    QTest::newRow("delay interrupted starts again")
        << "ah=20 d=2" << "0:21 1:21 2:20 3:21 4:21 5:21"
        << QStringList{"5 crossed ah"} << 2;
    QTest::newRow("delay interrupted by a reading on the limit")
        << "ah=20 d=2" << "0:21 1:20 2:21" << QStringList{} << 0;
    QTest::newRow("a jump past both crosses warning and alarm, alarm shows")
        << "wh=15 ah=20 h=1" << "0:10 1:25 2:18 3:13.9"
        << QStringList{"1 crossed wh", "1 crossed ah", "2 cleared ah", "3 cleared wh"} << 0;
    QTest::newRow("warning stays while the alarm clears")
        << "wh=15 ah=20" << "0:21 1:16" << QStringList{"0 crossed wh", "0 crossed ah", "1 cleared ah"} << 1;
    QTest::newRow("no reading changes nothing")
        << "ah=20 d=1" << "0:21 1:nan 2:21" << QStringList{"2 crossed ah"} << 2;
    // The delay counts only time with readings, joined as the chart joins them (5 s).
    QTest::newRow("delay across a gap starts again")
        << "ah=20 d=2" << "0:21 1:21 7:21 8:21 9:21" << QStringList{"9 crossed ah"} << 2;
    QTest::newRow("readings the joining distance apart are one run")
        << "ah=20 d=2" << "0:21 5:21" << QStringList{"5 crossed ah"} << 2;
    QTest::newRow("delay across a loss starts again, a crossed limit stays")
        << "wh=15 ah=20 d=2 h=1" << "0:16 1:16 2:21 3:21 3:lost 4:21 5:21 6:21 7:18.9"
        << QStringList{"2 crossed wh", "6 crossed ah", "7 cleared ah"} << 1;
    QTest::newRow("a clock set back starts the delay again")
        << "ah=20 d=2" << "10:21 11:21 5:21 6:21 7:21" << QStringList{"7 crossed ah"} << 2;
    // New limits: those that stay keep their state, changed ones decide from the reading.
    QTest::newRow("unchanged limits keep crossing, acknowledgement and delay")
        << "wh=15 ah=20 d=1" << "0:16 1:16 1:ack 2:21 2:set=wh=15,ah=20,d=1 3:21 3:set=wh=15,ah=20,d=1"
        << QStringList{"1 crossed wh", "1 acknowledged wh", "3 crossed ah"} << 2;
    QTest::newRow("a moved limit still past stays crossed")
        << "ah=5" << "0:10 1:set=ah=7 2:10 3:ack" << QStringList{"0 crossed ah", "3 acknowledged ah"} << 2;
    QTest::newRow("a moved limit now beyond the reading clears at once")
        << "ah=5" << "0:10 1:set=ah=12 2:10" << QStringList{"0 crossed ah", "1 cleared ah"} << 0;
    QTest::newRow("a moved limit not passed by the hysteresis stays crossed")
        << "ah=5" << "0:10 1:set=ah=10.5,h=1 2:10 3:9.5" << QStringList{"0 crossed ah", "3 cleared ah"} << 0;
    QTest::newRow("a new limit the reading is past crosses at once")
        << "" << "0:10 1:set=ah=5" << QStringList{"1 crossed ah"} << 2;
    QTest::newRow("a new limit's delay counts from the latest reading")
        << "" << "0:10 1:set=ah=5,d=2 2:10" << QStringList{"2 crossed ah"} << 2;
    QTest::newRow("a shorter delay already met crosses at once")
        << "ah=20 d=5" << "0:21 1:21 2:21 2:set=ah=20,d=1" << QStringList{"2 crossed ah"} << 2;
    QTest::newRow("a limit moved out starts its delay again")
        << "ah=5 d=2" << "0:10 1:10 1:set=ah=8,d=2 2:10 3:10" << QStringList{"3 crossed ah"} << 2;
    QTest::newRow("a limit moved in keeps the run")
        << "ah=8 d=2" << "0:10 1:10 1:set=ah=5,d=2 2:10" << QStringList{"2 crossed ah"} << 2;
    QTest::newRow("changed without a current reading, the next reading decides")
        << "ah=5" << "0:10 8:set=ah=12 9:10" << QStringList{"0 crossed ah", "9 cleared ah"} << 0;
    QTest::newRow("a crossed limit taken away is removed")
        << "wh=3 ah=5" << "0:10 1:set=wh=3 2:10" << QStringList{"0 crossed wh", "0 crossed ah", "1 removed ah"} << 1;
}

void TestLimits::watch()
{
    QFETCH(QString, limits);
    QFETCH(QString, readings);
    QFETCH(QStringList, events);
    QFETCH(int, level);

    LimitWatch watch(ParseLimits(limits), Joining);
    QStringList seen;
    double latest = 0;
    for (const QString& step : readings.split(u' ')) {
        const int second = step.section(u':', 0, 0).toInt();
        const QString text = step.section(u':', 1);
        const Limits before = watch.limits();
        LimitEvents events;
        if (text == u"lost") {
            watch.interrupt();
        } else if (text == u"ack") {
            events = watch.acknowledge(second * 1000);
        } else if (text.startsWith(u"set=")) {
            events = watch.setLimits(ParseLimits(text.mid(4).replace(u',', u' ')), second * 1000);
        } else {
            const double value = text == u"nan" ? std::nan("") : text.toDouble();
            events = watch.update(value, second * 1000);
            if (!std::isnan(value))
                latest = value;
        }
        const char* kinds[] = {"crossed", "cleared", "acknowledged", "removed"};
        for (const LimitEvent& e : events) {
            QCOMPARE(e.time, second * 1000);
            QCOMPARE(e.value, latest);
            QCOMPARE(e.limit, *(e.kind == LimitEvent::Kind::Removed ? before : watch.limits())[e.bound]);
            seen << QStringLiteral("%1 %2 %3").arg(second).arg(QLatin1String(kinds[int(e.kind)]), BoundText(e.bound));
        }
    }
    QCOMPARE(seen, events);
    QCOMPARE(int(watch.status().level), level);
}

void TestLimits::acknowledgedUntilTheNextCrossing()
{
    LimitWatch watch(ParseLimits(u"ah=20 wh=10"_qs), Joining);
    watch.update(15, 0);
    QVERIFY(watch.unacknowledged(Level::Warning));
    watch.update(25, 1000);
    const LimitEvents acknowledged = watch.acknowledge(2000);
    QCOMPARE(acknowledged.count, 2);  // the warning and the alarm
    QVERIFY(watch.status().acknowledged);
    QCOMPARE(watch.acknowledge(3000).count, 0);  // nothing new
    // The colours stay until the reading is back inside; a new crossing asks again.
    QCOMPARE(watch.status().level, Level::Alarm);
    watch.update(15, 4000);
    watch.update(25, 5000);
    QVERIFY(watch.unacknowledged(Level::Alarm));
    QVERIFY(!watch.unacknowledged(Level::Warning));
    QCOMPARE(watch.status().since, 5000);
}

void TestLimits::instrumentAlarms_data()
{
    QTest::addColumn<int>("upperUnit");
    QTest::addColumn<int>("mode1");
    QTest::addColumn<int>("lowerUnit");
    QTest::addColumn<int>("mode2");
    // "A<n> <quantity> <high> <low>" for each alarm shown, then the limits a copy gives.
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QString>("copied");

    // Alarm 1 thresholds 500 and 140 tenths, alarm 2 250 and 50 tenths.
    QTest::newRow("°Cdp upper, °C outside") << 0 << 1 << 5 << 4 << QStringList{"A1 0 50 14", "A2 2 25 5"}
                                          << "ah=50|ah=25 al=5";
    QTest::newRow("°Fdp and °F converted to °C") << 1 << 2 << 6 << 5 << QStringList{"A1 0 10 -10", "A2 2 -3.88889 -15"}
                                                 << "al=-10|ah=-3.88889 h=11.1111";
    QTest::newRow("%Rh with hysteresis below") << 3 << 6 << 5 << 0 << QStringList{"A1 1 50 14"} << "al=14 h=36";
    QTest::newRow("off, g/m3, aw and t-tdp are on no line")
        << 2 << 1 << 7 << 1 << QStringList{} << "";
    QTest::newRow("aw, and an alarm off") << 4 << 4 << 5 << 0 << QStringList{} << "";
    QTest::newRow("inside is shown, not copied") << 0 << 3 << 5 << 0 << QStringList{"A1 0 50 14"} << "-";
}

void TestLimits::instrumentAlarms()
{
    QFETCH(int, upperUnit);
    QFETCH(int, mode1);
    QFETCH(int, lowerUnit);
    QFETCH(int, mode2);
    QFETCH(QStringList, shown);
    QFETCH(QString, copied);

    SettingsValues s;
    s.UpperUnit = std::uint8_t(upperUnit);
    s.LowerUnit = std::uint8_t(lowerUnit);
    s.Alarm1Mode = std::uint8_t(mode1);
    s.Alarm2Mode = std::uint8_t(mode2);
    s.Alarm1High = 500;
    s.Alarm1Low = 140;
    s.Alarm2High = 250;
    s.Alarm2Low = 50;
    // The °F rows: 50 °F = 10 °C, 14 °F = -10 °C, 25 °F = -3.889 °C, 5 °F = -15 °C.
    QStringList seen;
    QStringList copies;
    for (const InstrumentAlarm& a : InstrumentAlarms(s)) {
        seen << QStringLiteral("A%1 %2 %3 %4").arg(a.number).arg(int(a.quantity)).arg(a.high, 0, 'g', 6).arg(a.low, 0, 'g', 6);
        if (!CanCopy(a)) {
            copies << u"-"_qs;
            continue;
        }
        const Limits l = CopyAlarm(a, {});
        QStringList parts;
        if (l[Bound::AlarmHigh])
            parts << QStringLiteral("ah=%1").arg(*l[Bound::AlarmHigh], 0, 'g', 6);
        if (l[Bound::AlarmLow])
            parts << QStringLiteral("al=%1").arg(*l[Bound::AlarmLow], 0, 'g', 6);
        if (l.hysteresis != 0)
            parts << QStringLiteral("h=%1").arg(l.hysteresis, 0, 'g', 6);
        copies << parts.join(u' ');
    }
    QCOMPARE(seen, shown);
    QCOMPARE(copies.join(u'|'), copied);
}

void TestLimits::dialogRefuses_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");

    const QString decimal = QLocale().decimalPoint();
    QTest::newRow("warning beyond its alarm") << "dewPoint.warningHigh" << "25"
        << ByLanguage("Temperatura punktu rosy: górny próg ostrzeżenia jest wyższy niż górny próg alarmu.",
                      "Dew point temperature: the upper warning limit is above the upper alarm limit.");
    QTest::newRow("lower warning beyond its alarm") << "humidity.warningLow" << "5"
        << ByLanguage("Wilgotność względna: dolny próg ostrzeżenia jest niższy niż dolny próg alarmu.",
                      "Relative humidity: the lower warning limit is below the lower alarm limit.");
    QTest::newRow("lower above upper") << "dewPoint.alarmLow" << "15"
        << ByLanguage("Temperatura punktu rosy: dolny próg alarmu nie jest niższy niż górny próg ostrzeżenia.",
                      "Dew point temperature: the lower alarm limit is not below the upper warning limit.");
    QTest::newRow("negative hysteresis") << "ambient.hysteresis" << "-1"
        << ByLanguage("Temperatura otoczenia: histereza nie może być ujemna.",
                      "Ambient temperature: the hysteresis cannot be negative.");
    QTest::newRow("negative delay") << "ambient.delay" << "-0" + decimal + "5"
        << ByLanguage("Temperatura otoczenia: opóźnienie nie może być ujemne.",
                      "Ambient temperature: the delay cannot be negative.");
    QTest::newRow("not a number") << "humidity.alarmHigh" << "9o"
        << ByLanguage("Wilgotność względna, górny próg alarmu: '9o' nie jest liczbą.",
                      "Relative humidity, upper alarm limit: '9o' is not a number.");
    QTest::newRow("the other decimal separator") << "humidity.alarmHigh" << (decimal == u"." ? "9,5" : "9.5")
        << ByLanguage("Wilgotność względna, górny próg alarmu: '%1' nie jest liczbą.",
                      "Relative humidity, upper alarm limit: '%1' is not a number.")
               .arg(decimal == u"." ? "9,5" : "9.5");
    QTest::newRow("beyond the range") << "dewPoint.alarmLow" << "-4000"
        << ByLanguage("Temperatura punktu rosy, dolny próg alarmu: '-4000' jest poza dozwolonym zakresem od %1 do %2.",
                      "Dew point temperature, lower alarm limit: '-4000' is outside the allowed range %1 to %2.")
               .arg("-3276" + decimal + "8", "3276" + decimal + "7");
    QTest::newRow("a delay longer than a day") << "dewPoint.delay" << "86400" + decimal + "1"
        << ByLanguage("Temperatura punktu rosy: opóźnienie może wynosić najwyżej 86400 s (dobę).",
                      "Dew point temperature: the delay can be at most 86400 s (a day).");
    QTest::newRow("a hysteresis below a hundredth") << "humidity.hysteresis" << "0" + decimal + "125"
        << ByLanguage("Wilgotność względna, histereza: '%1' ma za dużo miejsc po przecinku (najwyżej 2).",
                      "Relative humidity, hysteresis: '%1' has too many decimals (at most 2).")
               .arg("0" + decimal + "125");
    QTest::newRow("a delay below a tenth of a second") << "ambient.delay" << "1" + decimal + "25"
        << ByLanguage("Temperatura otoczenia, opóźnienie: '%1' ma za dużo miejsc po przecinku (najwyżej 1).",
                      "Ambient temperature, delay: '%1' has too many decimals (at most 1).")
               .arg("1" + decimal + "25");
}

void TestLimits::dialogRefuses()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, message);

    AlarmPreferences before;
    before.limits[QuantityId::DewPoint] = ParseLimits(u"ah=20 wh=15"_qs);
    before.limits[QuantityId::Humidity] = ParseLimits(u"al=10"_qs);
    LimitsDialog dialog(before, false, {});
    dialog.show();
    auto* edit = dialog.findChild<QLineEdit*>(field);
    QVERIFY(edit);
    const QString original = edit->text();
    edit->setText(text);
    dialog.accept();
    QCOMPARE(dialog.problem(), message);
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(dialog.preferences(), before);

    // Mended, the same dialog takes it.
    edit->setText(original);
    dialog.accept();
    QVERIFY(dialog.problem().isEmpty());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.preferences(), before);
}

// In the Polish locale: what is typed is kept to the digit, and what is shown and left
// alone stays exactly as it was stored.
void TestLimits::dialogKeepsWhatIsTyped_data()
{
    QTest::addColumn<QString>("field");  // empty: nothing typed
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");  // the ambient temperature's limits after OK

    const QString stored = u"al=-0.125 ah=40 h=0.25 d=12.5"_qs;  // -0.125: more digits than one can type
    QTest::newRow("nothing typed") << "" << "" << stored;
    QTest::newRow("hysteresis in hundredths") << "ambient.hysteresis" << "0,05" << "al=-0.125 ah=40 h=0.05 d=12.5";
    QTest::newRow("trailing zeros are no decimals") << "ambient.hysteresis" << "0,250" << stored;
    QTest::newRow("a limit in hundredths") << "ambient.alarmHigh" << "40,25" << "al=-0.125 ah=40.25 h=0.25 d=12.5";
    QTest::newRow("a delay of an hour") << "ambient.delay" << "3600" << "al=-0.125 ah=40 h=0.25 d=3600";
    QTest::newRow("a delay of a day") << "ambient.delay" << "86400,0" << "al=-0.125 ah=40 h=0.25 d=86400";
}

void TestLimits::dialogKeepsWhatIsTyped()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, kept);

    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
    const auto restore = qScopeGuard([before] { QLocale::setDefault(before); });
    AlarmPreferences stored;
    stored.limits[QuantityId::Ambient] = ParseLimits(u"al=-0.125 ah=40 h=0.25 d=12.5"_qs);
    LimitsDialog dialog(stored, false, {});
    QCOMPARE(dialog.findChild<QLineEdit*>(u"ambient.hysteresis"_qs)->text(), u"0,25"_qs);
    QCOMPARE(dialog.findChild<QLineEdit*>(u"ambient.delay"_qs)->text(), u"12,5"_qs);
    if (!field.isEmpty())
        dialog.findChild<QLineEdit*>(field)->setText(typed);
    dialog.accept();
    QVERIFY2(dialog.problem().isEmpty(), qPrintable(dialog.problem()));
    QCOMPARE(dialog.preferences().of(QuantityId::Ambient), ParseLimits(kept));
}

void TestLimits::dialogCopiesInstrumentAlarms()
{
    SettingsValues s;
    s.UpperUnit = 1;  // °Fdp
    s.Alarm1Mode = 4;  // outside
    s.Alarm1High = 500;
    s.Alarm1Low = 140;
    s.LowerUnit = 5;  // °C
    s.Alarm2Mode = 5;  // upper, with the gap as hysteresis
    s.Alarm2High = 250;
    s.Alarm2Low = 50;
    AlarmPreferences before;
    before.limits[QuantityId::DewPoint] = ParseLimits(u"wh=5 ah=30 h=0.25 d=30"_qs);
    before.limits[QuantityId::Ambient] = ParseLimits(u"al=1 d=7"_qs);
    LimitsDialog dialog(before, true, InstrumentAlarms(s));
    auto* typed = dialog.findChild<QLineEdit*>(u"dewPoint.warningLow"_qs);
    typed->setText(u"-1x"_qs);  // a typing slip in a field the copy does not set
    auto* copy = dialog.findChild<QPushButton*>(u"copyInstrumentAlarms"_qs);
    QVERIFY(copy && copy->isEnabled());
    copy->click();
    QCOMPARE(typed->text(), u"-1x"_qs);
    typed->setText(u"-5"_qs);
    dialog.accept();
    QVERIFY2(dialog.problem().isEmpty(), qPrintable(dialog.problem()));
    // 50 °F and 14 °F as alarm limits; the warning, the hysteresis and the delay stay.
    QCOMPARE(dialog.preferences().of(QuantityId::DewPoint), ParseLimits(u"wl=-5 wh=5 ah=10 al=-10 h=0.25 d=30"_qs));
    // 25 °C as the upper alarm limit, the 20 °C between the thresholds as hysteresis.
    QCOMPARE(dialog.preferences().of(QuantityId::Ambient), ParseLimits(u"al=1 ah=25 h=20 d=7"_qs));

    LimitsDialog unread(before, false, {});
    QVERIFY(!unread.findChild<QPushButton*>(u"copyInstrumentAlarms"_qs)->isEnabled());
}

void TestLimits::preferencesKeptBetweenRuns()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"hmx700.conf"_qs);
    AlarmPreferences saved;
    saved.limits[QuantityId::Ambient] = ParseLimits(u"al=-0.5 ah=40 h=0.3 d=12.5"_qs);
    saved.soundForAlarms = false;
    saved.soundForWarnings = true;
    {
        QSettings settings(path, QSettings::IniFormat);
        SaveAlarmPreferences(settings, saved);
    }
    {
        QSettings settings(path, QSettings::IniFormat);
        QCOMPARE(LoadAlarmPreferences(settings), saved);
        // Nonsense written by hand is not taken: that quantity has no limits.
        settings.setValue(u"limits/ambient/warningHigh"_qs, 50.0);
    }
    QSettings settings(path, QSettings::IniFormat);
    QVERIFY(LoadAlarmPreferences(settings).limits.empty());
}

QTEST_MAIN(TestLimits)
#include "tst_limits.moc"
