// Limits end to end: the real window, offscreen, against the simulator whose readings
// change as its "measure H D A" command says, with a private session bus on which a
// small listener plays the desktop's notification service.
#include "instrument/charttime.h"
#include "instrument/poller.h"
#include "log/eventjournal.h"
#include "tools/simulator.h"
#include "ui/derivedpanel.h"
#include "ui/alarmpanel.h"
#include "ui/alarmtexts.h"
#include "ui/limitsdialog.h"
#include "ui/mainwindow.h"
#include "ui/opendialog.h"

#include <QAction>
#include <QApplication>
#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using hmx::sim::Simulator;
using namespace hmx::limits;

// What the desktop's notification service is asked to show.
class NotificationListener : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList apps, summaries, bodies, desktopEntries;

public slots:
    uint Notify(const QString& app, uint, const QString&, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap& hints, int)
    {
        apps << app;
        desktopEntries << hints.value(QStringLiteral("desktop-entry")).toString();
        summaries << summary;
        bodies << body;
        return uint(summaries.size());
    }
};

namespace {

// The journal's lines as columns, without the byte-order mark and the CR LF.
QList<QStringList> JournalLines()
{
    QFile file(QStringLiteral("hmx700-events.txt"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromUtf8(file.readAll());
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    QList<QStringList> lines;
    for (const QString& line : text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
        lines << line.split(u'\t');
    return lines;
}

// The serial number a report names, read back from the PDF by pdftotext.
QString SerialInReport(const QString& pdf)
{
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    if (!text.waitForFinished(30000))
        return QStringLiteral("(pdftotext failed)");
    const QRegularExpression serial(QStringLiteral("(?:Numer seryjny|Serial number) +(\\S+)"));
    return serial.match(QString::fromUtf8(text.readAllStandardOutput())).captured(1);
}

// The program a menu entry of the source tree starts.
QString ProgramOfEntry(const QString& entry)
{
    QFile file(QStringLiteral(HMX700_SOURCE_DIR "/app/") + entry + QStringLiteral(".desktop"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("(no menu entry %1)").arg(entry);
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(u"Exec="))
            return line.mid(5).section(u' ', 0, 0);
    }
    return {};
}

QStringList Kinds(const QList<QStringList>& lines)
{
    QStringList kinds;
    for (const QStringList& columns : lines) {
        kinds << columns.value(1)
                + (columns.value(1).startsWith(u"limit-") ? u' ' + columns.value(2) + u' ' + columns.value(4) : QString());
    }
    return kinds;
}

// The window against the simulator, the box naming the instrument accepted as the user
// would; shut down in order at the end.
class MeasuringWindow {
public:
    MeasuringWindow()
    {
        qputenv("HMX700_PORTS", QByteArray::fromStdString(sim.linkPath()));
        form = std::make_unique<TForm1>();
        Form1 = form.get();
        QObject::connect(&identification, &QTimer::timeout, [] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                box->accept();
        });
        identification.start(20);
    }
    ~MeasuringWindow()
    {
        form->Shutdown();
        Form1 = nullptr;
    }

    // Connect, then two readings (they come a cycle late, once confirmed whole).
    bool connectAndMeasure()
    {
        form->Connect->click();
        return QTest::qWaitFor([this] { return form->poller() && form->poller()->readingCount() >= 2; }, 30000);
    }

    Simulator sim;
    std::unique_ptr<TForm1> form;

private:
    QTimer identification;
};

} // namespace

class TestAlarms : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void alarmIsSeenHeardNotifiedAndJournaled();
    void derivedQuantityInItsFieldAndOnTheChart();
    void reportNamesTheUnitOfTheShownReadings();

private:
    QTemporaryDir m_dir;
    QString m_oldDir;
    QProcess m_bus;
    NotificationListener m_listener;
};

void TestAlarms::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_oldDir = QDir::currentPath();
    QDir::setCurrent(m_dir.path());
    // The stored limits of the user are neither read nor changed.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("config"))));

    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    QVERIFY2(!daemon.isEmpty(), "dbus-daemon (package dbus) is needed");
    m_bus.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
    QVERIFY(m_bus.waitForStarted());
    QVERIFY(QTest::qWaitFor([this] { return m_bus.canReadLine(); }, 10000));
    const QString address = QString::fromLatin1(m_bus.readLine()).trimmed();
    QVERIFY(!address.isEmpty());
    // Before anything asks for the session bus, so the window's notifier finds this one.
    qputenv("DBUS_SESSION_BUS_ADDRESS", address.toLatin1());

    QDBusConnection listener = QDBusConnection::connectToBus(address, QStringLiteral("listener"));
    QVERIFY(listener.isConnected());
    QVERIFY(listener.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &m_listener,
                                    QDBusConnection::ExportAllSlots));
    QVERIFY(listener.registerService(QStringLiteral("org.freedesktop.Notifications")));
}

void TestAlarms::cleanupTestCase()
{
    QDBusConnection::disconnectFromBus(QStringLiteral("listener"));
    m_bus.kill();
    m_bus.waitForFinished();
    QDir::setCurrent(m_oldDir);
}

void TestAlarms::alarmIsSeenHeardNotifiedAndJournaled()
{
    MeasuringWindow window;
    Simulator& sim = window.sim;
    const std::unique_ptr<TForm1>& form = window.form;
    QCOMPARE(sim.Control("measure 450 0 235"), std::string("ok"));

    hmx::AlarmPanel* alarms = form->alarms();
    hmx::AlarmPreferences preferences;
    Limits dewPoint;
    dewPoint[Bound::WarningHigh] = 3;
    dewPoint[Bound::AlarmHigh] = 5;
    dewPoint.hysteresis = 1;
    preferences.limits[QuantityId::DewPoint] = dewPoint;
    Limits ambient;
    ambient[Bound::AlarmHigh] = 25;
    preferences.limits[QuantityId::Ambient] = ambient;
    alarms->setPreferences(preferences);
    alarms->setRepeatInterval(std::chrono::milliseconds(100));
    QSignalSpy sounds(alarms, &hmx::AlarmPanel::soundPlayed);
    QVERIFY(sounds.isValid());
    const QColor ownColor = form->Edit20->palette().color(QPalette::Base);

    QVERIFY(window.connectAndMeasure());
    QCOMPARE(form->Edit20->palette().color(QPalette::Base), ownColor);
    QCOMPARE(form->windowTitle(), QStringLiteral("HMX-700"));

    // The dew point climbs to 10.0 °C, past both limits, the air to 30.0 °C.
    QCOMPARE(sim.Control("measure 450 100 300"), std::string("ok"));
    QTRY_COMPARE_WITH_TIMEOUT(form->Edit20->palette().color(QPalette::Base), hmx::FieldLook::alarmColor(), 5000);
    QVERIFY(form->windowTitle().startsWith(QStringLiteral("⚠")));
    QVERIFY(!alarms->acknowledgeButton()->isHidden());
    const QString status = alarms->statusLabel(QuantityId::DewPoint)->text();
    QVERIFY2(status.contains(hmx::LimitValueText(5, QuantityId::DewPoint)), qPrintable(status));

    QTRY_COMPARE_WITH_TIMEOUT(form->Edit14->palette().color(QPalette::Base), hmx::FieldLook::alarmColor(), 5000);

    // One notification per crossing, however long the readings stay past.
    QTRY_COMPARE_WITH_TIMEOUT(m_listener.summaries.size(), 2, 5000);
    QCOMPARE(m_listener.summaries.first(), hmx::CrossingTitle(Level::Alarm));
    QVERIFY(m_listener.bodies.first().startsWith(hmx::QuantityName(QuantityId::DewPoint)));
    QCOMPARE(m_listener.apps.first(), QStringLiteral("HMX-700"));
    // Filed under the menu entry of the program in this window's language.
    QCOMPARE(ProgramOfEntry(m_listener.desktopEntries.first()), QStringLiteral(HMX700_PROGRAM));
    const int readings = form->poller()->readingCount();
    QTRY_VERIFY_WITH_TIMEOUT(form->poller()->readingCount() >= readings + 3, 5000);
    QCOMPARE(m_listener.summaries.size(), 2);

    // The sound repeats until acknowledged. A click on the red dew point acknowledges
    // the dew point alone: the air's alarm still sounds and waits for the button.
    QTRY_VERIFY_WITH_TIMEOUT(sounds.count() >= 3, 5000);
    QTest::mouseClick(form->Edit20, Qt::LeftButton);
    QVERIFY(alarms->status(QuantityId::DewPoint).acknowledged);
    QVERIFY(!alarms->status(QuantityId::Ambient).acknowledged);
    QVERIFY(!alarms->acknowledgeButton()->isHidden());
    const int beforeButton = sounds.count();
    QTRY_VERIFY_WITH_TIMEOUT(sounds.count() > beforeButton, 5000);
    alarms->acknowledgeButton()->click();
    const int heard = sounds.count();
    QTest::qWait(500);
    QCOMPARE(sounds.count(), heard);
    QVERIFY(alarms->acknowledgeButton()->isHidden());
    QCOMPARE(form->Edit20->palette().color(QPalette::Base), hmx::FieldLook::alarmColor());  // still past

    // Limits… and OK with nothing changed: the alarms go on as they were, unannounced.
    alarms->limitsButton()->click();
    QVERIFY(alarms->limitsDialog());
    alarms->limitsDialog()->accept();
    QVERIFY(alarms->status(QuantityId::DewPoint).acknowledged);
    QCOMPARE(form->Edit20->palette().color(QPalette::Base), hmx::FieldLook::alarmColor());
    QCOMPARE(form->Edit14->palette().color(QPalette::Base), hmx::FieldLook::alarmColor());

    // Back inside by the hysteresis: the field's own look, the title without the sign.
    QCOMPARE(sim.Control("measure 450 0 235"), std::string("ok"));
    QTRY_COMPARE_WITH_TIMEOUT(form->Edit20->palette().color(QPalette::Base), ownColor, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(form->windowTitle(), QStringLiteral("HMX-700"), 5000);
    QVERIFY(alarms->statusLabel(QuantityId::DewPoint)->text().isEmpty());
    QCOMPARE(alarms->alarmPeriods(QuantityId::DewPoint).size(), std::size_t(1));
    QVERIFY(alarms->alarmPeriods(QuantityId::DewPoint).front().end.has_value());

    // The chart draws the dew point's limits (and whatever thresholds the instrument
    // keeps) on its line and shades the period past the alarm limit.
    using Kind = hmx::chart::LimitLine::Kind;
    std::vector<std::pair<double, Kind>> drawn;
    for (const hmx::chart::LimitLine& l : form->Chart1->limitLines(0))
        if (l.kind != Kind::Threshold)
            drawn.emplace_back(l.value, l.kind);
    QCOMPARE(drawn, (std::vector<std::pair<double, Kind>>{{3, Kind::Warning}, {5, Kind::Alarm}}));
    QVERIFY(form->Chart1->limitLines(1).empty() || form->Chart1->limitLines(1).front().kind == Kind::Threshold);
    const std::vector<hmx::chart::ShadedPeriod> shaded = form->Chart1->shadedPeriods(0);
    QCOMPARE(shaded.size(), std::size_t(1));
    const hmx::limits::Period period = alarms->alarmPeriods(QuantityId::DewPoint).front();
    QCOMPARE(shaded.front().from, hmx::ChartX(period.start));
    QCOMPARE(shaded.front().to, hmx::ChartX(*period.end));
    // Its menu opens the Limits dialog.
    QAction* limitsAction = form->Chart1->findChild<QAction*>(QStringLiteral("ChartLimitsAction"));
    QVERIFY(limitsAction && form->Chart1->menuActions().contains(limitsAction));
    limitsAction->trigger();
    QVERIFY(alarms->limitsDialog() && alarms->limitsDialog()->isVisible());
    alarms->limitsDialog()->close();

    form->Shutdown();
    const QList<QStringList> journal = JournalLines();
    QCOMPARE(Kinds(journal), (QStringList{
                                 "start",
                                 "connect",
                                 "settings-read",
                                 "limit-crossed quantity=dewPoint limit=warningHigh",
                                 "limit-crossed quantity=dewPoint limit=alarmHigh",
                                 "limit-crossed quantity=ambient limit=alarmHigh",
                                 "limit-acknowledged quantity=dewPoint limit=warningHigh",
                                 "limit-acknowledged quantity=dewPoint limit=alarmHigh",
                                 "limit-acknowledged quantity=ambient limit=alarmHigh",
                                 "limit-cleared quantity=dewPoint limit=warningHigh",
                                 "limit-cleared quantity=dewPoint limit=alarmHigh",
                                 "limit-cleared quantity=ambient limit=alarmHigh",
                                 "stop",
                             }));
    QCOMPARE(journal.at(4).mid(2), (QStringList{"quantity=dewPoint", "level=alarm", "limit=alarmHigh", "value=10",
                                                "limitValue=5"}));
    QVERIFY(journal.at(1).contains(QStringLiteral("model=HMX-700")));
    // Local time with its offset from UTC.
    static const QRegularExpression iso(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d$"));
    QVERIFY2(iso.match(journal.at(4).at(0)).hasMatch(), qPrintable(journal.at(4).at(0)));
    const QDateTime stamp = QDateTime::fromString(journal.at(4).at(0), Qt::ISODate);
    QVERIFY(qAbs(stamp.secsTo(QDateTime::currentDateTime())) < 60);
}

// Absolute humidity chosen for the chart and ppmV beside it (kept in the temporary
// configuration): a reading shows in their fields, the chart draws the first as a
// fourth line on a right axis of its own, and the export carries both with their units.
void TestAlarms::derivedQuantityInItsFieldAndOnTheChart()
{
    using hmx::humidity::Quantity;
    {
        hmx::DerivedChoice choice;
        choice.shown = {Quantity::AbsoluteHumidity, Quantity::VolumeRatio};
        choice.charted = Quantity::AbsoluteHumidity;
        QSettings settings;
        hmx::SaveDerivedChoice(choice, settings);
    }
    const auto forget = qScopeGuard([] { QSettings().remove(QStringLiteral("Derived")); });
    MeasuringWindow window;
    const std::unique_ptr<TForm1>& form = window.form;
    QCOMPARE(window.sim.Control("measure 450 0 235"), std::string("ok"));  // dew point 0.0 °C, air 23.5 °C
    form->resize(800, 600);
    form->show();
    QVERIFY(window.connectAndMeasure());

    // By hand: e = f·es(0 °C) = 1.0044 · 611.2 Pa; g/m³ = e·Mw/(R·T); ppmV = e/(p − e).
    const double e = 1.0044 * 611.2;
    const double grams = e * 18.015 / (8.3145 * (23.5 + 273.15));
    const double ppmv = e / (101325 - e) * 1e6;
    QLineEdit* field = form->derived()->field(Quantity::AbsoluteHumidity);
    QVERIFY(field && field->isVisible());
    // Beside the page's own controls, none of them covered.
    const QWidget* frame = form->TabSheet3->findChild<QWidget*>(QStringLiteral("derivedFrame"));
    QVERIFY(frame && frame->isAncestorOf(field));
    for (const QWidget* other : form->TabSheet3->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        if (other != frame && !other->isHidden())
            QVERIFY2(!other->geometry().intersects(frame->geometry()), qPrintable(other->objectName()));
    QTRY_VERIFY(!field->text().isEmpty());
    QVERIFY2(qAbs(QLocale().toDouble(field->text()) - grams) < 0.01, qPrintable(field->text()));
    const QString ppmvText = form->derived()->field(Quantity::VolumeRatio)->text();
    QVERIFY2(qAbs(QLocale().toDouble(ppmvText) / ppmv - 1) < 0.002, qPrintable(ppmvText));

    // The fourth line, on the right axis; the left axis ranges the three readings alone.
    hmx::chart::ChartWidget& chart = *form->Chart1;
    QCOMPARE(chart.seriesCount(), 5);
    hmx::chart::LineSeries* line = chart.series(3);
    QVERIFY(line->onRightAxis() && line->plotted());
    QTRY_VERIFY(line->count() >= 2);
    QVERIFY(qAbs(line->y(line->count() - 1) - grams) < 0.01);
    QVERIFY(!chart.series(4)->plotted());
    chart.updateRanges();
    const hmx::chart::ChartLayout layout = chart.chartLayout();
    QVERIFY(layout.rightAxis);
    // Ranged over the charted line alone: not over ppmV, which is only read out.
    QVERIFY(layout.rightMin <= grams && grams <= layout.rightMax && layout.rightMax < 100);
    QVERIFY(!layout.rightTicks.empty());
    QVERIFY(layout.valueMin <= 0 && layout.valueMax >= 45);
    QVERIFY(!layout.legendEntries[3].isNull() && layout.legendEntries[4].isNull());

    // The hover read-out names both with their units.
    form->PageControl1->setCurrentWidget(form->TabSheet1);
    QTest::mouseMove(&chart, chart.chartLayout().plot.center());
    QStringList readOut;
    for (const hmx::chart::ChartLayout::Value& v : chart.chartLayout().readOut.values)
        readOut << v.text;
    QVERIFY2(readOut.size() == 5 && readOut.filter(QStringLiteral("[ppmV]")).size() == 1
                 && readOut.filter(hmx::DerivedTitle(Quantity::AbsoluteHumidity)).size() == 1,
             qPrintable(readOut.join(u'|')));

    const QString csvPath = QDir::current().filePath(QStringLiteral("derived.csv"));
    QVERIFY(chart.exportCsv(csvPath));
    QFile csv(csvPath);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QString header = QString::fromUtf8(csv.readLine());
    QVERIFY2(header.contains(hmx::DerivedTitle(Quantity::AbsoluteHumidity)) && header.contains(QStringLiteral("[ppmV]")),
             qPrintable(header));

    // Old with the readings' own fields while the instrument is away, live again after.
    window.sim.unplug();
    QTRY_VERIFY_WITH_TIMEOUT(!field->isEnabled(), 15000);
    window.sim.replug();
    QTRY_VERIFY_WITH_TIMEOUT(field->isEnabled(), 60000);
}

// The window's report names the unit that made the readings the chart shows: the one
// measuring for the live log, the one a loaded file's journal names for that file.
void TestAlarms::reportNamesTheUnitOfTheShownReadings()
{
    MeasuringWindow window;
    window.sim.setVersion(1, 0, 4242);
    const std::unique_ptr<TForm1>& form = window.form;
    QVERIFY(window.connectAndMeasure());
    QVERIFY(form->writeReport(QDir::current().filePath(QStringLiteral("live.pdf"))));
    QCOMPARE(SerialInReport(QStringLiteral("live.pdf")), QStringLiteral("4242"));

    // Another unit's log, with its journal beside it.
    QDir here;
    QVERIFY(here.mkpath(QStringLiteral("other")));
    QFile::remove(QStringLiteral("other/jrt1.txt"));
    QVERIFY(QFile::copy(QStringLiteral("jrt1.txt"), QStringLiteral("other/jrt1.txt")));
    QFile journal(QStringLiteral("other/hmx700-events.txt"));
    QVERIFY(journal.open(QIODevice::WriteOnly | QIODevice::Truncate));
    using hmx::Detail;
    journal.write(hmx::FormatJournalLine({QDateTime::currentDateTime().addSecs(-3600), QStringLiteral("connect"),
                                          {Detail(QStringLiteral("model"), QStringLiteral("HMX-700")),
                                           Detail(QStringLiteral("serial"), QStringLiteral("31337"))}}));
    journal.close();
    const QString other = here.absoluteFilePath(QStringLiteral("other/jrt1.txt"));
    OpenDialog::setChooserForTesting([other] { return other; });
    const auto forget = qScopeGuard([] { OpenDialog::setChooserForTesting({}); });
    form->Button1Click();
    QTRY_VERIFY_WITH_TIMEOUT(!form->isLoadingChart(), 10000);
    QVERIFY(form->writeReport(QDir::current().filePath(QStringLiteral("loaded.pdf"))));
    QCOMPARE(SerialInReport(QStringLiteral("loaded.pdf")), QStringLiteral("31337"));
}

QTEST_MAIN(TestAlarms)
#include "test_alarms.moc"
