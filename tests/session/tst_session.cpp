// A measuring session end to end, with no widget at all: the simulator as the instrument
// (a real pseudo-terminal), a real Mosquitto broker watched as mosquitto_sub would, real
// files. Whatever trouble a run meets, every reading it told of is in the log, numbered
// without a gap, and at the broker; the journal holds its events and the broker the same
// events. Two sessions in one process measure two instruments, each into its own files,
// and publish over one connection to the broker.
#include "humidity/quantities.h"
#include "log/eventjournal.h"
#include "log/logfolderlock.h"
#include "publish/brokerconnection.h"
#include "publish/publisher.h"
#include "readings/lines.h"
#include "session/instrumentset.h"
#include "session/measuringsession.h"
#include "tools/mqttwatcher.h"
#include "tools/simulator.h"
#include "tools/testbroker.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointF>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <map>
#include <memory>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace hmx;
using sim::MeasurementTenths;
using sim::Simulator;

namespace {

// A log line's number and raw tenths: dew point, humidity, ambient.
struct Line {
    int number = 0;
    int dewPoint = 0, humidity = 0, ambient = 0;
    bool operator==(const Line&) const = default;
};

QList<Line> LogLines(const QString& path)
{
    QFile file(path);
    QList<Line> lines;
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    for (const QByteArray& row : file.readAll().split('\n')) {
        const QList<QByteArray> f = row.trimmed().split('\t');
        if (f.size() >= 5)
            lines.append({f[0].toInt(), f[2].toInt(), f[3].toInt(), f[4].toInt()});
    }
    return lines;
}

QByteArray FileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

Line FromReading(const Reading& r)
{
    return {r.number, r.dewPoint, r.humidity, r.ambient};
}

QStringList Kinds(const std::vector<JournalEvent>& events)
{
    QStringList kinds;
    for (const JournalEvent& e : events)
        kinds << e.kind;
    return kinds;
}

// Whether `wanted` appears in `kinds` in this order, other kinds between them allowed.
bool InOrder(const QStringList& kinds, const QStringList& wanted)
{
    qsizetype at = 0;
    for (const QString& kind : kinds)
        if (at < wanted.size() && kind == wanted[at])
            ++at;
    return at == wanted.size();
}

QJsonObject Json(const QByteArray& payload)
{
    return QJsonDocument::fromJson(payload).object();
}

QByteArray LastPayload(const sim::MqttWatcher& watcher, const QString& topic)
{
    const QList<QByteArray> payloads = watcher.payloads(topic);
    return payloads.isEmpty() ? QByteArray() : payloads.last();
}

// The readings' numbers, each once in the order it first came: a message the broker took
// just before it stopped, unacknowledged, comes again.
QList<int> FirstArrivals(const QList<QByteArray>& payloads)
{
    QList<int> numbers;
    for (const QByteArray& payload : payloads)
        if (const int n = Json(payload).value("number").toInt(); !numbers.contains(n))
            numbers << n;
    return numbers;
}

// Another holder of the log's lock, as another program would be: its writes fail meanwhile.
class LogHeld {
public:
    explicit LogHeld(const QString& path) : m_fd(::open(QFile::encodeName(path).constData(), O_RDWR)) { ::flock(m_fd, LOCK_EX); }
    ~LogHeld() { release(); }
    void release()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd;
};

DerivedChoice Choice(const char* key)
{
    DerivedChoice choice;
    choice.shown = {*QuantityByKey(QString::fromLatin1(key))};
    return choice;
}

constexpr MeasurementTenths Usual{450, -105, 235};  // 45.0 %, -10.5 °Cdp, 23.5 °C
constexpr MeasurementTenths Wet{450, 50, 235};      // dew point 5.0 °C: past the alarm limit of 0

} // namespace

class TestSession : public QObject {
    Q_OBJECT
private slots:
    void troubleLosesNothing_data();
    void troubleLosesNothing();
    void twoSessionsTwoInstruments();
    void searchAsksFreePortsOnly();
    void stoppedSearchTellsNothing();
    void refusedSessionLeavesTheOthersJournal_data();
    void refusedSessionLeavesTheOthersJournal();

private:
    // Connects as the recorder does, reading the instrument as soon as it is found.
    static bool StartMeasuring(MeasuringSession& session, const std::string& device);
};

bool TestSession::StartMeasuring(MeasuringSession& session, const std::string& device)
{
    QObject::connect(&session, &MeasuringSession::scanned, &session, [&session](const ScanResult& scan) {
        if (scan.connected)
            session.readInstrument();
    });
    QSignalSpy measuring(&session, &MeasuringSession::measuring);
    return session.connectInstrument({device}) && measuring.wait(20000);
}

void TestSession::troubleLosesNothing_data()
{
    QTest::addColumn<QString>("trouble");
    QTest::addColumn<QStringList>("events");  // journaled in this order between "connect" and "stop"

    QTest::newRow("the derived choice changed while measuring") << "derived" << QStringList{"settings-read"};
    QTest::newRow("unplugged and back") << "unplug" << QStringList{"instrument-lost", "instrument-back"};
    QTest::newRow("another unit answers meanwhile") << "other unit" << QStringList{"instrument-lost", "other-unit"};
    QTest::newRow("the log held by another program") << "log held" << QStringList{"log-failed", "log-works"};
    QTest::newRow("a limit crossed, acknowledged and cleared")
        << "limit" << QStringList{"limit-crossed", "limit-acknowledged", "limit-cleared"};
}

void TestSession::troubleLosesNothing()
{
    QFETCH(QString, trouble);
    QFETCH(QStringList, events);
    QTemporaryDir dir;
    const QDir d(dir.path());
    QVERIFY(d.mkpath("broker") && d.mkpath("log"));
    sim::TestBroker broker(d.filePath("broker"));
    QVERIFY2(broker.start(), qPrintable(broker.log()));
    const QString base = QStringLiteral("test/unit");
    sim::MqttWatcher watcher(broker.port(), base + "/#", "watcher-" + QString(QTest::currentDataTag()).replace(' ', '-'));
    Simulator unit;
    unit.setVersion(1, 2, 4321);
    unit.setMeasurement(Usual);

    SessionOptions options;
    options.folder = d.filePath("log");
    options.publish.enabled = true;
    options.publish.host = QStringLiteral("127.0.0.1");
    options.publish.port = broker.port();
    options.publish.baseTopic = base;
    options.publishFromStart = true;
    options.derived = Choice("frost-point");
    options.limits.limits[limits::QuantityId::DewPoint][limits::Bound::AlarmHigh] = 0.0;
    MeasuringSession session(options);
    readings::Lines lines;
    session.setLines(&lines);
    QList<SessionReading> told;
    connect(&session, &MeasuringSession::reading, this, [&told](const SessionReading& r) { told << r; });
    QSignalSpy lost(&session, &MeasuringSession::lost);
    QSignalSpy back(&session, &MeasuringSession::back);
    QSignalSpy other(&session, &MeasuringSession::otherUnit);
    QSignalSpy logFailed(&session, &MeasuringSession::logFailed);
    QSignalSpy logWorks(&session, &MeasuringSession::logWorks);
    QList<limits::LimitEvent::Kind> limitEvents;
    connect(&session, &MeasuringSession::limitEvents, this, [&limitEvents](const QuantityLimitEvents& events) {
        for (const QuantityLimitEvent& e : events)
            limitEvents << e.event.kind;
    });
    QVERIFY(StartMeasuring(session, unit.linkPath()));
    QTRY_VERIFY_WITH_TIMEOUT(told.size() >= 3, 10000);
    qsizetype changedAt = -1;
    const auto moreReadings = [&](int more) {
        const qsizetype now = told.size();
        return QTest::qWaitFor([&] { return told.size() >= now + more; }, 30000);
    };

    if (trouble == "derived") {
        session.setDerived(Choice("ppmv"));
        changedAt = told.size();
        QVERIFY(moreReadings(4));
    } else if (trouble == "unplug" || trouble == "other unit") {
        const std::string node = QFileInfo(QString::fromStdString(unit.linkPath())).symLinkTarget().toStdString();
        unit.unplug();
        QVERIFY(lost.wait(10000));
        // The node it left is soon another program's device: the search must not talk to it.
        std::vector<std::unique_ptr<Simulator>> bystanders;
        while (bystanders.size() < 4 && (bystanders.empty() || bystanders.back()->devicePath() != node))
            bystanders.push_back(std::make_unique<Simulator>());
        QSignalSpy searched(&session, &MeasuringSession::noReply);
        QTRY_VERIFY_WITH_TIMEOUT(searched.size() >= 4, 20000);
        for (const auto& bystander : bystanders)
            QVERIFY(bystander->receivedFrames().empty());
        QTRY_COMPARE_WITH_TIMEOUT(watcher.payloads(base + "/status").value(watcher.payloads(base + "/status").size() - 1),
                                  QByteArray("searching"), 10000);
        if (trouble == "other unit") {
            // Its own values, so a reading of it would show in the log and among those told.
            unit.setVersion(1, 2, 5555);
            unit.setMeasurement(MeasurementTenths{987, 65, 321});
            unit.replug();
            QVERIFY(other.wait(20000));
            QCOMPARE(other.first().at(1).value<quint16>(), quint16(5555));
            QVERIFY(back.isEmpty());
            // Still searching for its own unit when it ends: nothing of the other in the log.
        } else {
            unit.replug();
            QVERIFY(back.wait(20000));
            QVERIFY(moreReadings(3));
        }
    } else if (trouble == "log held") {
        LogHeld held(session.files().log());
        QVERIFY(logFailed.wait(10000));
        QVERIFY(moreReadings(3));  // shown all the same, kept for the log
        held.release();
        QVERIFY(logWorks.wait(10000));
        QVERIFY(moreReadings(2));
    } else if (trouble == "limit") {
        unit.setMeasurement(Wet);
        QTRY_VERIFY_WITH_TIMEOUT(!limitEvents.isEmpty(), 10000);
        QCOMPARE(told.last().limits[0].level, limits::Level::Alarm);
        session.acknowledge();
        unit.setMeasurement(Usual);
        using Kind = limits::LimitEvent::Kind;
        QTRY_COMPARE_WITH_TIMEOUT(limitEvents, (QList<Kind>{Kind::Crossed, Kind::Acknowledged, Kind::Cleared}), 10000);
        QVERIFY(moreReadings(1));
        QCOMPARE(told.last().limits[0].level, limits::Level::None);
    }
    const SessionEnd end = session.stop();
    QCOMPARE(end.lines, QString());
    QCOMPARE(end.events, QString());

    // Every reading told is in the log, and nothing else: numbered from 1 without a gap.
    const QList<Line> log = LogLines(session.files().log());
    QList<Line> shown;
    for (const SessionReading& r : told)
        shown << FromReading(r.reading);
    QCOMPARE(log, shown);
    for (qsizetype i = 0; i < log.size(); ++i)
        QCOMPARE(log[i].number, int(i + 1));

    // The journal, and the same events at the broker (all but "start", before the publisher).
    const QStringList kinds = Kinds(ReadJournal(session.files().journal()));
    QVERIFY2(InOrder(kinds, QStringList{"start", "connect"} + events + QStringList{"stop"}), qPrintable(kinds.join(' ')));
    QCOMPARE(kinds.count("instrument-lost"), events.count("instrument-lost"));
    QCOMPARE(kinds.count("instrument-back"), events.count("instrument-back"));
    QStringList published;
    QTRY_VERIFY_WITH_TIMEOUT(!watcher.payloads(base + "/event").isEmpty()
                                 && Json(watcher.payloads(base + "/event").last()).value("kind") == "stop",
                             10000);
    for (const QByteArray& payload : watcher.payloads(base + "/event"))
        published << Json(payload).value("kind").toString();
    QCOMPARE(published, kinds.mid(1));

    // Each reading published once it was logged, with the derived values it was told with.
    const QList<QByteArray> readings = watcher.payloads(base + "/reading");
    QCOMPARE(readings.size(), told.size());
    for (qsizetype i = 0; i < told.size(); ++i) {
        const QJsonObject json = Json(readings[i]);
        const Reading& r = told[i].reading;
        QCOMPARE(json.value("number").toInt(), r.number);
        QCOMPARE(r.derived.size(), std::size_t(1));
        const humidity::State state = humidity::FromReading(r.ambient / 10.0, r.dewPoint / 10.0, DerivedChoice().pascals());
        QCOMPARE(r.derived[0].value.has_value(), state[r.derived[0].quantity].has_value());
        QVERIFY(qAbs(*r.derived[0].value - *state[r.derived[0].quantity]) < 1e-9);
        QVERIFY2(json.contains(JsonName(r.derived[0].quantity)), readings[i].constData());
    }
    if (trouble == "derived") {
        // Changed while measuring: every reading told from then on carries the new choice,
        // also those the Poller took before it heard of it.
        QCOMPARE(told.first().reading.derived[0].quantity, humidity::Quantity::FrostPoint);
        for (qsizetype i = changedAt; i < told.size(); ++i)
            QCOMPARE(told[i].reading.derived[0].quantity, *QuantityByKey("ppmv"));
    }
    // The lines hold what was told, each point where its reading is, measured and derived.
    std::map<humidity::Quantity, QList<QPointF>> expected;
    for (const SessionReading& r : told) {
        expected[humidity::Quantity::DewPoint] << QPointF(r.reading.dewPointX, r.reading.dewPoint / 10.0);
        expected[humidity::Quantity::RelativeHumidity] << QPointF(r.reading.humidityX, r.reading.humidity / 10.0);
        expected[humidity::Quantity::Temperature] << QPointF(r.reading.ambientX, r.reading.ambient / 10.0);
        for (const DerivedValue& v : r.reading.derived) {
            if (v.value)  // none outside the formulas' range
                expected[v.quantity] << QPointF(r.reading.dewPointX, *v.value);
        }
    }
    QCOMPARE(lines.quantities().size(), expected.size());
    for (const auto& [quantity, points] : expected) {
        const std::shared_ptr<const readings::Line> line = lines.find(quantity);
        QVERIFY(line);
        QList<QPointF> held;
        for (std::size_t i = 0; i < line->count(); ++i)
            held << QPointF(line->points().x(i), line->points().y(i));
        QCOMPARE(held, points);
    }
    QList<QByteArray> statuses = watcher.payloads(base + "/status");
    statuses.removeAll("measuring");
    QCOMPARE(statuses, (lost.isEmpty() ? QList<QByteArray>{"offline"} : QList<QByteArray>{"searching", "offline"}));
}

void TestSession::twoSessionsTwoInstruments()
{
    QTemporaryDir dir;
    const QDir d(dir.path());
    QVERIFY(d.mkpath("first") && d.mkpath("second"));
    Simulator first;
    Simulator second;
    first.setVersion(1, 0, 111);
    first.setMeasurement(Wet);
    second.setVersion(1, 0, 222);
    second.setMeasurement(MeasurementTenths{600, -52, 211});

    // Both publish over one connection, each under its own base topic.
    QVERIFY(d.mkpath("broker"));
    sim::TestBroker broker(d.filePath("broker"));
    QVERIFY2(broker.start(), qPrintable(broker.log()));
    sim::MqttWatcher watcher(broker.port(), QStringLiteral("test/two/#"), QStringLiteral("watcher-two"));
    SessionOptions firstOptions;
    firstOptions.folder = d.filePath("first");
    firstOptions.limits.limits[limits::QuantityId::DewPoint][limits::Bound::AlarmHigh] = 0.0;
    firstOptions.publish.enabled = true;
    firstOptions.publish.host = QStringLiteral("127.0.0.1");
    firstOptions.publish.port = broker.port();
    firstOptions.broker = std::make_shared<BrokerConnection>(firstOptions.publish);
    SessionOptions secondOptions = firstOptions;
    firstOptions.publish.baseTopic = QStringLiteral("test/two/first");
    secondOptions.folder = d.filePath("second");
    secondOptions.limits = {};
    secondOptions.publish.baseTopic = QStringLiteral("test/two/second");
    MeasuringSession one(firstOptions);
    MeasuringSession two(secondOptions);
    int toldOne = 0, toldTwo = 0;
    connect(&one, &MeasuringSession::reading, this, [&toldOne] { ++toldOne; });
    connect(&two, &MeasuringSession::reading, this, [&toldTwo] { ++toldTwo; });
    QSignalSpy lostTwo(&two, &MeasuringSession::lost);
    QSignalSpy backTwo(&two, &MeasuringSession::back);
    QVERIFY(StartMeasuring(one, first.linkPath()));
    QVERIFY(StartMeasuring(two, second.linkPath()));
    QTRY_VERIFY_WITH_TIMEOUT(toldOne >= 4 && toldTwo >= 4, 30000);
    // The broker away for a while: both queue, and send once it is back.
    broker.stop();
    const int oneAtStop = toldOne, twoAtStop = toldTwo;
    QTRY_VERIFY_WITH_TIMEOUT(toldOne >= oneAtStop + 3 && toldTwo >= twoAtStop + 3, 30000);
    QVERIFY2(broker.start(), qPrintable(broker.log()));

    second.unplug();
    QVERIFY(lostTwo.wait(10000));
    const int firstWhenLost = toldOne;
    QTRY_VERIFY_WITH_TIMEOUT(toldOne >= firstWhenLost + 4, 30000);
    second.replug();
    QVERIFY(backTwo.wait(20000));
    const int secondWhenBack = toldTwo;
    QSignalSpy noReplyTwo(&two, &MeasuringSession::noReply);
    QSignalSpy refusedTwo(&two, &MeasuringSession::replyRejected);
    QTRY_VERIFY2_WITH_TIMEOUT(toldTwo >= secondWhenBack + 3,
                              qPrintable(QStringLiteral("%1 readings since it came back, %2 cycles without, %3 refused")
                                             .arg(toldTwo - secondWhenBack)
                                             .arg(noReplyTwo.size())
                                             .arg(refusedTwo.size())),
                              30000);
    // The second's session ends: its "offline", while the first goes on over the connection.
    two.stop();
    QTRY_COMPARE_WITH_TIMEOUT(LastPayload(watcher, "test/two/second/status"), QByteArray("offline"), 10000);
    const int firstWhenSecondStopped = toldOne;
    QTRY_VERIFY_WITH_TIMEOUT(FirstArrivals(watcher.payloads("test/two/first/reading")).size() >= firstWhenSecondStopped + 2,
                             30000);
    one.stop();
    QTRY_COMPARE_WITH_TIMEOUT(LastPayload(watcher, "test/two/first/status"), QByteArray("offline"), 10000);
    // One client for both, before the broker stopped and after: the first to measure names it.
    QCOMPARE(broker.clients(), QStringList{QStringLiteral("hmx700-111")});

    // Each log holds its own unit's readings alone, every one, numbered without a gap.
    const struct {
        MeasuringSession& session;
        int told;
        Line values;
        quint16 serial;
        QStringList events;
        QString base;
    } runs[] = {{one, toldOne, {0, Wet.dewPoint, Wet.humidity, Wet.ambient}, 111, {"limit-crossed"}, "test/two/first"},
                {two, toldTwo, {0, -52, 600, 211}, 222, {"instrument-lost", "instrument-back"}, "test/two/second"}};
    for (const auto& run : runs) {
        const QList<Line> lines = LogLines(run.session.files().log());
        QCOMPARE(lines.size(), qsizetype(run.told));
        // At the broker under its own base topic: each reading, in order.
        QList<int> numbers;
        for (int n = 1; n <= run.told; ++n)
            numbers << n;
        QTRY_COMPARE_WITH_TIMEOUT(FirstArrivals(watcher.payloads(run.base + "/reading")), numbers, 30000);
        for (qsizetype i = 0; i < lines.size(); ++i)
            QCOMPARE(lines[i], (Line{int(i + 1), run.values.dewPoint, run.values.humidity, run.values.ambient}));
        // Its own journal: its unit, its limit, its loss; nothing of the other's.
        const std::vector<JournalEvent> journal = ReadJournal(run.session.files().journal());
        QStringList kinds = Kinds(journal);
        kinds.removeAll("settings-read");
        QCOMPARE(kinds, (QStringList{"start", "connect"} + run.events + QStringList{"stop"}));
        QCOMPARE(DetailValue(journal[1], "serial"), QString::number(run.serial));
    }
}

// A search for more instruments asks only the ports no session measures on, under any
// name that leads there, and tells each unit found with its serial number, in port order.
void TestSession::searchAsksFreePortsOnly()
{
    QTemporaryDir dir;
    std::vector<std::unique_ptr<Simulator>> sims;
    QByteArrayList ports;
    for (quint16 serial : {301, 302, 303, 304}) {
        sims.push_back(std::make_unique<Simulator>());
        sims.back()->setVersion(1, 0, serial);
        ports << QByteArray::fromStdString(serial % 2 ? sims.back()->linkPath() : sims.back()->devicePath());
    }
    // The first unit listed a second time under its terminal's own name.
    ports << QByteArray::fromStdString(sims[0]->devicePath());
    qputenv("HMX700_PORTS", ports.join(':'));

    InstrumentSet set(dir.path());
    QCOMPARE(set.folderFor(302), QDir(dir.path()).filePath("302"));
    QVERIFY(QDir().mkpath(set.folderFor(303)));
    SessionOptions options;
    options.folder = dir.path();
    MeasuringSession* first = set.add(options);
    options.folder = set.folderFor(303);
    MeasuringSession* third = set.add(options);
    QVERIFY(StartMeasuring(*first, sims[0]->linkPath()));
    QVERIFY(StartMeasuring(*third, sims[2]->linkPath()));
    QCOMPARE(set.holding(303), third);
    QCOMPARE(set.holding(302), nullptr);

    QCOMPARE(set.freePorts(), (std::vector<std::string>{sims[1]->devicePath(), sims[3]->devicePath()}));
    // Ports given first (where units were before) come first, even one the usual ports do
    // not list; a held one or one given twice is still asked never or once.
    Simulator elsewhere;
    elsewhere.setVersion(1, 0, 305);
    const std::vector<std::string> before{elsewhere.linkPath(), sims[2]->devicePath(), sims[1]->linkPath()};
    QCOMPARE(set.freePorts(before), (std::vector<std::string>{elsewhere.linkPath(), sims[1]->linkPath(), sims[3]->devicePath()}));
    QSignalSpy searched(&set, &InstrumentSet::searched);
    QVERIFY(set.search(before));
    QVERIFY(!set.search());  // one at a time
    QVERIFY(searched.wait(20000));
    const auto search = searched.at(0).at(0).value<InstrumentSearch>();
    QCOMPARE(search.found.size(), std::size_t(3));
    QCOMPARE(search.found[0].version.serialNumber, 305);
    QCOMPARE(search.found[1].version.serialNumber, 302);
    QCOMPARE(search.found[1].device, sims[1]->linkPath());
    QCOMPARE(search.found[2].version.serialNumber, 304);
    // The sessions measured on undisturbed while the others were asked.
    QSignalSpy readings(third, &MeasuringSession::reading);
    QVERIFY(readings.wait(10000));
    qunsetenv("HMX700_PORTS");
}

// A search stopped part way tells nothing, and the next one tells its own result alone,
// however late the stopped one's thread would have told.
void TestSession::stoppedSearchTellsNothing()
{
    std::vector<std::unique_ptr<Simulator>> silent;
    std::vector<std::string> slow;
    for (int i = 0; i < 4; ++i) {
        silent.push_back(std::make_unique<Simulator>());
        silent.back()->setSilent(true);  // each costs the whole identify wait
        slow.push_back(silent.back()->linkPath());
    }
    Simulator answering;
    answering.setVersion(1, 0, 306);
    InstrumentFinder finder;
    QSignalSpy searched(&finder, &InstrumentFinder::searched);
    for (int round = 0; round < 3; ++round) {
        QVERIFY(finder.find(slow));
        QVERIFY(finder.running());
        finder.stop();
        QVERIFY(!finder.running());
    }
    QVERIFY(finder.find({answering.linkPath()}));
    QVERIFY(searched.wait(20000));
    QTRY_VERIFY_WITH_TIMEOUT(!finder.running(), 5000);
    QCoreApplication::processEvents();
    QCOMPARE(searched.size(), 1);
    const auto search = searched.at(0).at(0).value<InstrumentSearch>();
    QCOMPARE(search.found.size(), std::size_t(1));
    QCOMPARE(search.found[0].version.serialNumber, 306);
}

void TestSession::refusedSessionLeavesTheOthersJournal_data()
{
    QTest::addColumn<bool>("heldAtStart");  // the other copy measures here when the session is made
    QTest::addColumn<bool>("heldAtEnd");    // ... and when it ends
    QTest::newRow("another copy measures throughout: nothing of this one in its journal") << true << true;
    QTest::newRow("it ends first: this one's events written at the end, in order") << true << false;
    QTest::newRow("it starts later and refuses this one's Connect") << false << true;
}

void TestSession::refusedSessionLeavesTheOthersJournal()
{
    QFETCH(bool, heldAtStart);
    QFETCH(bool, heldAtEnd);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    SessionOptions options;
    options.folder = dir.path();
    const QString log = QDir(dir.path()).filePath(QStringLiteral("jrt1.txt"));
    auto other = std::make_unique<LogFolderLock>(log);
    EventJournal othersJournal(QDir(dir.path()).filePath(QStringLiteral("hmx700-events.txt")));
    if (heldAtStart) {
        QCOMPARE(other->acquire(), LogFolderLock::Result::Held);
        othersJournal.add(QStringLiteral("start"));
    }
    QByteArray before = FileBytes(othersJournal.fileName());
    auto session = std::make_unique<MeasuringSession>(options);
    if (!heldAtStart) {
        QCOMPARE(other->acquire(), LogFolderLock::Result::Held);
        othersJournal.add(QStringLiteral("start"));
        before = FileBytes(othersJournal.fileName());
    }
    QSignalSpy refused(session.get(), &MeasuringSession::cannotMeasure);
    QVERIFY(!session->connectInstrument());
    QCOMPARE(refused.count(), 1);
    session->journal().add(QStringLiteral("chart-loaded"));
    QCOMPARE(FileBytes(othersJournal.fileName()), before);
    if (!heldAtEnd)
        other.reset();
    session->stop();
    const QStringList kinds = Kinds(ReadJournal(othersJournal.fileName()));
    if (heldAtEnd)
        QCOMPARE(FileBytes(othersJournal.fileName()), before);
    else
        QCOMPARE(kinds, (QStringList{"start", "start", "chart-loaded", "stop"}));
}

QTEST_GUILESS_MAIN(TestSession)
#include "tst_session.moc"
