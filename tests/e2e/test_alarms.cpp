// Limits end to end: the real window, offscreen, against the simulator whose readings
// change as its "measure H D A" command says, with a private session bus on which a
// small listener plays the desktop's notification service.
#include "instrument/charttime.h"
#include "instrument/poller.h"
#include "log/eventjournal.h"
#include "tools/simulator.h"
#include "ui/alarmpanel.h"
#include "ui/alarmtexts.h"
#include "ui/limitsdialog.h"
#include "ui/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
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
    QStringList apps, summaries, bodies;

public slots:
    uint Notify(const QString& app, uint, const QString&, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap&, int)
    {
        apps << app;
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

QStringList Kinds(const QList<QStringList>& lines)
{
    QStringList kinds;
    for (const QStringList& columns : lines)
        kinds << columns.value(1) + (columns.value(1).startsWith(u"limit-") ? u' ' + columns.value(4) : QString());
    return kinds;
}

} // namespace

class TestAlarms : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void alarmIsSeenHeardNotifiedAndJournaled();

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
    Simulator sim;
    QCOMPARE(sim.Control("measure 450 0 235"), std::string("ok"));
    qputenv("HMX700_PORTS", QByteArray::fromStdString(sim.devicePath()));
    auto form = std::make_unique<TForm1>();
    Form1 = form.get();
    const auto cleanup = qScopeGuard([&] {
        form->Shutdown();
        Form1 = nullptr;
    });
    QTimer identification;  // the box naming the instrument, accepted as the user would
    connect(&identification, &QTimer::timeout, this, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->accept();
    });
    identification.start(20);

    hmx::AlarmPanel* alarms = form->alarms();
    hmx::AlarmPreferences preferences;
    Limits dewPoint;
    dewPoint[Bound::WarningHigh] = 3;
    dewPoint[Bound::AlarmHigh] = 5;
    dewPoint.hysteresis = 1;
    preferences.limits[QuantityId::DewPoint] = dewPoint;
    alarms->setPreferences(preferences);
    alarms->setRepeatInterval(std::chrono::milliseconds(100));
    QSignalSpy sounds(alarms, &hmx::AlarmPanel::soundPlayed);
    QVERIFY(sounds.isValid());
    const QColor ownColor = form->Edit20->palette().color(QPalette::Base);

    form->Connect->click();
    QVERIFY(QTest::qWaitFor([&] { return form->poller() && form->poller()->readingCount() >= 2; }, 30000));  // readings come a cycle late, once confirmed whole
    QCOMPARE(form->Edit20->palette().color(QPalette::Base), ownColor);
    QCOMPARE(form->windowTitle(), QStringLiteral("HMX-700"));

    // The dew point climbs to 10.0 °C, past both limits.
    QCOMPARE(sim.Control("measure 450 100 235"), std::string("ok"));
    QTRY_COMPARE_WITH_TIMEOUT(form->Edit20->palette().color(QPalette::Base), hmx::FieldLook::alarmColor(), 5000);
    QVERIFY(form->windowTitle().startsWith(QStringLiteral("⚠")));
    QVERIFY(!alarms->acknowledgeButton()->isHidden());
    const QString status = alarms->statusLabel(QuantityId::DewPoint)->text();
    QVERIFY2(status.contains(hmx::LimitValueText(5, QuantityId::DewPoint)), qPrintable(status));

    // One notification for the crossing, however long the reading stays past it.
    QTRY_COMPARE_WITH_TIMEOUT(m_listener.summaries.size(), 1, 5000);
    QCOMPARE(m_listener.summaries.first(), hmx::CrossingTitle(Level::Alarm));
    QVERIFY(m_listener.bodies.first().startsWith(hmx::QuantityName(QuantityId::DewPoint)));
    QCOMPARE(m_listener.apps.first(), QStringLiteral("HMX-700"));
    const int readings = form->poller()->readingCount();
    QTRY_VERIFY_WITH_TIMEOUT(form->poller()->readingCount() >= readings + 3, 5000);
    QCOMPARE(m_listener.summaries.size(), 1);

    // The sound repeats until a click on the red field acknowledges it.
    QTRY_VERIFY_WITH_TIMEOUT(sounds.count() >= 3, 5000);
    QTest::mouseClick(form->Edit20, Qt::LeftButton);
    const int heard = sounds.count();
    QTest::qWait(500);
    QCOMPARE(sounds.count(), heard);
    QVERIFY(alarms->acknowledgeButton()->isHidden());
    QCOMPARE(form->Edit20->palette().color(QPalette::Base), hmx::FieldLook::alarmColor());  // still past

    // Back inside by the hysteresis: the field's own look, the title without the sign.
    QCOMPARE(sim.Control("measure 450 0 235"), std::string("ok"));
    QTRY_COMPARE_WITH_TIMEOUT(form->Edit20->palette().color(QPalette::Base), ownColor, 5000);
    QCOMPARE(form->windowTitle(), QStringLiteral("HMX-700"));
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
                                 "limit-crossed limit=warningHigh",
                                 "limit-crossed limit=alarmHigh",
                                 "limit-acknowledged limit=warningHigh",
                                 "limit-acknowledged limit=alarmHigh",
                                 "limit-cleared limit=warningHigh",
                                 "limit-cleared limit=alarmHigh",
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

QTEST_MAIN(TestAlarms)
#include "test_alarms.moc"
