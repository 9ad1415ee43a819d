// hmx700-logger end to end: the real program against the simulator as the instrument and a
// real Mosquitto broker, watched as mosquitto_sub would. Every log line must arrive as a
// reading with its values and in order, through a broker outage, a SIGKILL, TLS and a
// wrong password, and an unplugged instrument; SIGTERM leaves the log and the queue
// complete and says "offline". With --all, several instruments at once, each on its own.
#include "instrument/poller.h"
#include "log/eventjournal.h"
#include "log/logfolderlock.h"
#include "log/measurementlog.h"
#include "tools/mqttwatcher.h"
#include "tools/simulator.h"
#include "tools/testbroker.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <map>
#include <memory>
#include <tuple>

using namespace hmx;
using namespace std::chrono_literals;

namespace {

// A reading as the log and the broker both tell it.
struct Line {
    int number = 0;
    QString time;  // the log's time of day
    QString humidity, dewPoint, ambient;
    bool operator==(const Line&) const = default;
};

QString Tenths(double value)
{
    return QString::number(value, 'f', 1);
}

// The log's fields: number, time, then dew point, humidity and ambient in tenths.
QList<Line> LogLines(const QString& path)
{
    QFile file(path);
    QList<Line> lines;
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    for (const QByteArray& row : file.readAll().split('\n')) {
        const QList<QByteArray> f = row.trimmed().split('\t');
        if (f.size() < 5)
            continue;
        const auto value = [](const QByteArray& tenths) { return Tenths(tenths.toInt() / 10.0); };
        lines.append({f[0].toInt(), QString::fromLatin1(f[1]), value(f[3]), value(f[2]), value(f[4])});
    }
    return lines;
}

Line FromPayload(const QByteArray& payload)
{
    const QJsonObject json = QJsonDocument::fromJson(payload).object();
    const QDateTime time = QDateTime::fromString(json.value("time").toString(), Qt::ISODateWithMs).toLocalTime();
    return {json.value("number").toInt(), LongTimeText(time.time()), Tenths(json.value("humidity").toDouble()),
            Tenths(json.value("dewPoint").toDouble()), Tenths(json.value("ambient").toDouble())};
}

// Lines of `log` not among `received`; and whether those found came first in log order.
QList<Line> Missing(const QList<Line>& log, const QList<Line>& received, bool& inOrder)
{
    std::map<std::pair<int, QString>, qsizetype> firstSeen;
    for (qsizetype i = 0; i < received.size(); ++i)
        firstSeen.try_emplace({received[i].number, received[i].time}, i);
    QList<Line> missing;
    qsizetype previous = -1;
    inOrder = true;
    for (const Line& line : log) {
        const auto found = firstSeen.find({line.number, line.time});
        if (found == firstSeen.end() || !(received[found->second] == line)) {
            missing.append(line);
            continue;
        }
        inOrder = inOrder && found->second > previous;
        previous = found->second;
    }
    return missing;
}

// The lines of every log in `folder`, the earlier ones (renamed at each start) first.
QList<Line> AllLogLines(const QString& folder)
{
    QFileInfoList logs = QDir(folder).entryInfoList({QStringLiteral("jrt1*.txt")}, QDir::Files, QDir::Time | QDir::Reversed);
    std::stable_partition(logs.begin(), logs.end(), [](const QFileInfo& f) { return f.fileName() != "jrt1.txt"; });
    QList<Line> lines;
    for (const QFileInfo& log : logs)
        lines += LogLines(log.filePath());
    return lines;
}

QByteArray LastStatus(const sim::MqttWatcher& watcher, const QString& base)
{
    const QList<QByteArray> status = watcher.payloads(base + QStringLiteral("/status"));
    return status.isEmpty() ? QByteArray() : status.last();
}

} // namespace

class TestLogger : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void outageAndKillLoseNothing();
    void tlsWrongPasswordThenSigterm();
    void unpluggedUnitComesBackAnotherDoesNot();
    void fiveUnplugsAndALimitCrossed();
    void tlsFailureNamesItsCause_data();
    void tlsFailureNamesItsCause();
    void allRecordsEachUnitOnItsOwn();
    void allLeavesAUnitAnotherCopyRecords();

private:
    // Starts hmx700-logger with `arguments` in `dir`, the simulator as its only port;
    // `extra` goes into its environment last.
    void startLogger(QProcess& logger, const QString& dir, QStringList arguments, const QString& password = {},
                     const QProcessEnvironment& extra = {});
    QList<Line> received(const sim::MqttWatcher& watcher, const QString& base) const;
    // Received, then what waits in the queue file for the next start.
    QList<Line> delivered(const sim::MqttWatcher& watcher, const QString& base, const QString& queue) const;

    sim::Simulator m_simulator;
};

void TestLogger::initTestCase()
{
    QVERIFY(QFile::exists(HMX700_LOGGER));
}

void TestLogger::startLogger(QProcess& logger, const QString& dir, QStringList arguments, const QString& password,
                             const QProcessEnvironment& extra)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HMX700_PORTS"), QString::fromStdString(m_simulator.devicePath()));
    environment.remove(QStringLiteral("HMX700_MQTT_PASSWORD"));
    if (!password.isEmpty())
        environment.insert(QStringLiteral("HMX700_MQTT_PASSWORD"), password);
    environment.insert(extra);
    logger.setProcessEnvironment(environment);
    logger.setProcessChannelMode(QProcess::MergedChannels);
    logger.start(QStringLiteral(HMX700_LOGGER), arguments << QStringLiteral("--dir") << dir);
    QVERIFY(logger.waitForStarted());
}

QList<Line> TestLogger::received(const sim::MqttWatcher& watcher, const QString& base) const
{
    QList<Line> lines;
    for (const QByteArray& payload : watcher.payloads(base + QStringLiteral("/reading")))
        lines.append(FromPayload(payload));
    return lines;
}

QList<Line> TestLogger::delivered(const sim::MqttWatcher& watcher, const QString& base, const QString& queue) const
{
    QList<Line> lines = received(watcher, base);
    QFile file(queue);
    if (file.open(QIODevice::ReadOnly))
        for (const QByteArray& message : file.readAll().split('\n'))
            if (!message.isEmpty())
                lines.append(FromPayload(message.mid(message.indexOf(' ') + 1)));
    return lines;
}

// One run: measuring with the broker there, the broker away for ten seconds, SIGKILL (the
// last will says "offline"), a new start that sends what the killed run had queued.
void TestLogger::outageAndKillLoseNothing()
{
    QTemporaryDir dir;
    const QString base = QStringLiteral("site/dryer1");
    sim::TestBroker broker(dir.path());
    QVERIFY2(broker.start(), qPrintable(broker.log()));
    sim::MqttWatcher watcher(broker.port(), QStringLiteral("site/#"), QStringLiteral("watcher-outage"));
    const QStringList arguments{"--mqtt", QStringLiteral("mqtt://127.0.0.1:%1/%2").arg(broker.port()).arg(base)};
    QProcess logger;
    startLogger(logger, dir.path(), arguments);
    QTRY_VERIFY_WITH_TIMEOUT(received(watcher, base).size() >= 4, 20000);
    QVERIFY(watcher.payloads(base + "/status").contains("measuring"));
    QCOMPARE(QJsonDocument::fromJson(watcher.payloads(base + "/info").value(0)).object().value("model").toString(),
             QStringLiteral("HMX-700"));

    broker.stop();
    const qsizetype logged = LogLines(dir.filePath("jrt1.txt")).size();
    QTest::qWait(10000);
    QVERIFY(LogLines(dir.filePath("jrt1.txt")).size() >= logged + 10);  // measuring went on
    QVERIFY2(broker.start(), qPrintable(broker.log()));
    QTRY_VERIFY_WITH_TIMEOUT(received(watcher, base).size() >= logged + 24, 40000);
    QVERIFY(logger.readAll().contains("MQTT: cannot reach 127.0.0.1:"));

    ::kill(pid_t(logger.processId()), SIGKILL);
    QVERIFY(logger.waitForFinished());
    QTRY_COMPARE_WITH_TIMEOUT(LastStatus(watcher, base), QByteArray("offline"), 10000);

    // SIGKILL at random moments of the reading cycle, the broker there and then away (what
    // those runs queued can only come from the queue file): whatever the log has, the queue has.
    const quint32 seed = QRandomGenerator::global()->generate();
    qInfo("kill moments from seed %u", seed);
    QRandomGenerator random(seed);
    for (int kill = 0; kill < 6; ++kill) {
        if (kill == 3)
            broker.stop();
        startLogger(logger, dir.path(), arguments);
        QByteArray said;
        QTRY_VERIFY_WITH_TIMEOUT((said += logger.readAll()).contains("measuring into"), 20000);
        const int lines = 1 + random.bounded(3);
        QTRY_VERIFY2_WITH_TIMEOUT(LogLines(dir.filePath("jrt1.txt")).size() >= lines, (said += logger.readAll()).constData(), 30000);
        QTest::qWait(random.bounded(500));
        ::kill(pid_t(logger.processId()), SIGKILL);
        QVERIFY(logger.waitForFinished());
    }

    // Started again with the instrument away: the backlog goes at once, under the name
    // noted beside the queue, and the status says the instrument is looked for.
    QVERIFY2(broker.start(), qPrintable(broker.log()));
    QProcessEnvironment noPort;
    noPort.insert(QStringLiteral("HMX700_PORTS"), dir.filePath("no-such-port"));
    startLogger(logger, dir.path(), arguments, {}, noPort);
    const QList<Line> allLogged = AllLogLines(dir.path());
    bool inOrder = false;
    QTRY_VERIFY_WITH_TIMEOUT(Missing(allLogged, received(watcher, base), inOrder).isEmpty(), 30000);
    QVERIFY(inOrder);
    QTRY_COMPARE_WITH_TIMEOUT(LastStatus(watcher, base), QByteArray("searching"), 10000);
    logger.terminate();
    QVERIFY(logger.waitForFinished(15000));
    // Published before the logger ended; the broker passes it on in its own time.
    QTRY_COMPARE_WITH_TIMEOUT(LastStatus(watcher, base), QByteArray("offline"), 10000);
}

// TLS with a certificate authority made here; a wrong password first (measuring goes on,
// the refusal is said), then the right one from a protected file; SIGTERM at the end.
void TestLogger::tlsWrongPasswordThenSigterm()
{
    QTemporaryDir dir;
    const QDir d(dir.path());
    const auto openssl = [&](const QStringList& arguments) {
        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.start(QStringLiteral("openssl"), arguments);
        return p.waitForFinished(60000) && p.exitCode() == 0;
    };
    QVERIFY(openssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=test CA",
                     "-keyout", "ca.key", "-out", "ca.pem"}));
    QVERIFY(openssl({"req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1", "-keyout", "server.key",
                     "-out", "server.csr"}));
    QFile extensions(d.filePath("san.ext"));
    QVERIFY(extensions.open(QIODevice::WriteOnly));
    extensions.write("subjectAltName=IP:127.0.0.1\n");
    extensions.close();
    QVERIFY(openssl({"x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
                     "-days", "2", "-extfile", "san.ext", "-out", "server.pem"}));
    QProcess passwd;
    passwd.start(QStringLiteral("mosquitto_passwd"), {"-c", "-b", d.filePath("passwords"), "plant", "right horse"});
    QVERIFY(passwd.waitForFinished() && passwd.exitCode() == 0);

    sim::TestBroker broker(dir.path());
    const int tlsPort = sim::TestBroker::FreePort();
    broker.setExtraConfig(QStringLiteral("listener %1 127.0.0.1\ncafile %2\ncertfile %3\nkeyfile %4\npassword_file %5\n")
                              .arg(tlsPort)
                              .arg(d.filePath("ca.pem"), d.filePath("server.pem"), d.filePath("server.key"),
                                   d.filePath("passwords")));
    QVERIFY2(broker.start(), qPrintable(broker.log()));
    QVERIFY(sim::TestBroker::WaitForListener(tlsPort, 5000));
    sim::MqttWatcher watcher(broker.port(), QStringLiteral("plant/#"), QStringLiteral("watcher-tls"));
    sim::MqttWatcher homeAssistant(broker.port(), QStringLiteral("homeassistant/#"), QStringLiteral("watcher-ha"));

    QFile config(d.filePath("logger.conf"));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write(QStringLiteral("[Publishing]\nenabled=true\nhost=127.0.0.1\nport=%1\ntls=true\ncaFile=%2\n"
                                "user=plant\nbaseTopic=plant/chamber\nhomeAssistant=true\n")
                     .arg(tlsPort)
                     .arg(d.filePath("ca.pem"))
                     .toUtf8());
    config.close();
    const QString base = QStringLiteral("plant/chamber");
    const QString logDir = d.filePath("log");
    QVERIFY(d.mkpath("log"));

    QProcess logger;
    startLogger(logger, logDir, {"--config", config.fileName()}, QStringLiteral("wrong horse"));
    QByteArray said;
    QTRY_VERIFY2_WITH_TIMEOUT((said += logger.readAll()).contains("not authorised"), said.constData(), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(LogLines(logDir + "/jrt1.txt").size() >= 4, 20000);
    QVERIFY(!said.contains("wrong horse"));
    logger.terminate();
    QVERIFY(logger.waitForFinished(15000));
    QCOMPARE(logger.exitCode(), 0);
    QVERIFY(received(watcher, base).isEmpty());
    const QList<Line> refusedRun = LogLines(logDir + "/jrt1.txt");

    QFile password(d.filePath("password"));
    QVERIFY(password.open(QIODevice::WriteOnly));
    password.write("right horse\n");
    password.close();
    QVERIFY(password.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    startLogger(logger, logDir, {"--config", config.fileName(), "--password-file", password.fileName()});
    QTRY_VERIFY_WITH_TIMEOUT(received(watcher, base).size() >= refusedRun.size() + 4, 30000);
    // Discovery: each quantity once, read from this instrument's readings, with its unit.
    QTRY_COMPARE_WITH_TIMEOUT(homeAssistant.messages().size(), 3, 5000);
    QStringList discovered;
    for (const sim::MqttMessage& m : homeAssistant.messages()) {
        const QJsonObject config = QJsonDocument::fromJson(m.payload).object();
        QCOMPARE(config.value("state_topic").toString(), base + "/reading");
        discovered << config.value("value_template").toString() + ' ' + config.value("unit_of_measurement").toString();
    }
    discovered.sort();
    QCOMPARE(discovered, (QStringList{QString::fromUtf8("{{ value_json.ambient }} °C"),
                                      QString::fromUtf8("{{ value_json.dewPoint }} °C"), "{{ value_json.humidity }} %"}));
    logger.terminate();
    QVERIFY(logger.waitForFinished(15000));
    QCOMPARE(logger.exitStatus(), QProcess::NormalExit);
    QCOMPARE(logger.exitCode(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(LastStatus(watcher, base), QByteArray("offline"), 5000);

    // Complete: each line of both runs arrived, the last ones too (an orderly stop sends
    // what is queued before "offline"), and nothing waits in the queue.
    const QList<Line> delivered = received(watcher, base);
    QCOMPARE(QFileInfo(logDir + "/jrt1.queue").size(), 0);
    bool inOrder = false;
    QCOMPARE(Missing(refusedRun, delivered, inOrder).size(), 0);
    QVERIFY(inOrder);
    QCOMPARE(Missing(LogLines(logDir + "/jrt1.txt"), delivered, inOrder).size(), 0);
    QVERIFY(inOrder);
}

// A unit with a serial number of its own, unplugged: "searching", nothing logged; another
// unit put in its place is named on standard error and left alone; the unit plugged back
// measures on in the same log, every line published. The settings come, as systemd's
// environment file gives them, from a path with a space.
void TestLogger::unpluggedUnitComesBackAnotherDoesNot()
{
    QTemporaryDir dir;
    const QDir d(dir.path());
    sim::TestBroker broker(dir.path());
    QVERIFY2(broker.start(), qPrintable(broker.log()));
    const QString base = QStringLiteral("lab/hygro");
    sim::MqttWatcher watcher(broker.port(), QStringLiteral("lab/#"), QStringLiteral("watcher-unplug"));
    sim::MqttWatcher discovery(broker.port(), QStringLiteral("plant-ha/#"), QStringLiteral("watcher-unplug-ha"));
    QVERIFY(d.mkpath(QStringLiteral("etc hmx700")));
    QFile config(d.filePath(QStringLiteral("etc hmx700/logger.conf")));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write(QStringLiteral("[Publishing]\nenabled=yes\nhost=127.0.0.1\nport=%1\ntls=no\nbaseTopic=%2\n"
                                "homeAssistant=on\ndiscoveryPrefix=plant-ha\n[Derived]\nquantities=frost-point\n")
                     .arg(broker.port())
                     .arg(base)
                     .toUtf8());
    config.close();

    sim::Simulator unit;
    unit.setVersion(1, 4, 4321);
    QProcessEnvironment extra;
    extra.insert(QStringLiteral("HMX700_PORTS"), QString::fromStdString(unit.linkPath()));
    extra.insert(QStringLiteral("HMX700_LOGGER_CONFIG"), config.fileName());
    QProcess logger;
    startLogger(logger, d.path(), {}, {}, extra);
    QByteArray said;
    const auto hasSaid = [&](const char* words) { return (said += logger.readAll()).contains(words); };
    QTRY_VERIFY_WITH_TIMEOUT(received(watcher, base).size() >= 3, 20000);
    QCOMPARE(LastStatus(watcher, base), QByteArray("measuring"));
    // Each time with its offset from UTC.
    const QString time = QJsonDocument::fromJson(watcher.payloads(base + "/reading").constFirst()).object().value("time").toString();
    QVERIFY2(QDateTime::fromString(time, Qt::ISODateWithMs).timeSpec() != Qt::LocalTime, qPrintable(time));
    // Discovery under the prefix set: the three readings and the derived quantity, all made
    // unavailable by this unit's status rather than left at their last value.
    QTRY_COMPARE_WITH_TIMEOUT(discovery.messages().size(), 4, 5000);
    QStringList keys;
    for (const sim::MqttMessage& m : discovery.messages()) {
        QVERIFY2(m.topic.startsWith(QStringLiteral("plant-ha/sensor/hmx700_4321/")), qPrintable(m.topic));
        const QJsonObject config = QJsonDocument::fromJson(m.payload).object();
        keys << config.value("value_template").toString();
        QCOMPARE(config.value("availability")[0]["topic"].toString(), base + "/status");
        QVERIFY(!config.value("device")["manufacturer"].toString().isEmpty());
        QCOMPARE(config.value("device")["model"].toString(), QStringLiteral("HMX-700"));
    }
    QVERIFY2(keys.contains(QStringLiteral("{{ value_json.frostPoint }}")), qPrintable(keys.join(u',')));

    unit.unplug();
    QTRY_COMPARE_WITH_TIMEOUT(LastStatus(watcher, base), QByteArray("searching"), 10000);
    unit.setVersion(1, 4, 5555);
    unit.replug();
    QTRY_VERIFY2_WITH_TIMEOUT(hasSaid("Another instrument (serial number 5555)"), said.constData(), 20000);
    const qsizetype loggedBeforeLoss = LogLines(d.filePath("jrt1.txt")).size();
    QTest::qWait(3000);  // what it would log if it took the other unit
    QCOMPARE(LogLines(d.filePath("jrt1.txt")).size(), loggedBeforeLoss);
    QCOMPARE(LastStatus(watcher, base), QByteArray("searching"));

    // Swapped back at once: a device that held another unit is tried again at the next
    // full look, whether or not one saw it gone meanwhile.
    unit.unplug();
    unit.setVersion(1, 4, 4321);
    unit.replug();
    QTRY_COMPARE_WITH_TIMEOUT(LastStatus(watcher, base), QByteArray("measuring"), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(LogLines(d.filePath("jrt1.txt")).size() >= loggedBeforeLoss + 3, 20000);
    QVERIFY2(hasSaid("the instrument is back"), said.constData());
    logger.terminate();
    QVERIFY(logger.waitForFinished(15000));
    QCOMPARE(logger.exitCode(), 0);

    // One log, numbered on without a gap, and every line of it published in order.
    QCOMPARE(d.entryList({QStringLiteral("jrt1*.txt")}), QStringList{QStringLiteral("jrt1.txt")});
    const QList<Line> log = LogLines(d.filePath("jrt1.txt"));
    for (qsizetype i = 0; i < log.size(); ++i)
        QCOMPARE(log[i].number, int(i + 1));
    bool inOrder = false;
    QCOMPARE(Missing(log, delivered(watcher, base, d.filePath("jrt1.queue")), inOrder).size(), 0);
    QVERIFY(inOrder);
    // The other unit in the journal, between the loss and the return of its own.
    QStringList journal;
    for (const JournalEvent& e : ReadJournal(d.filePath("hmx700-events.txt")))
        journal << e.kind + (e.kind == "other-unit" ? " " + DetailValue(e, "serial") : QString());
    const qsizetype other = journal.indexOf("other-unit 5555");
    QVERIFY2(other > journal.indexOf("instrument-lost") && other < journal.indexOf("instrument-back"),
             qPrintable(journal.join(' ')));
}

// Unplugged and plugged back five times, then the dew point past its limit from the INI
// file and back: every reading logged between the outages, numbered on in one log and
// published; each loss and return in the journal and on <base>/status; the crossing and
// the clearing in the journal, on standard error and on <base>/event.
void TestLogger::fiveUnplugsAndALimitCrossed()
{
    QTemporaryDir dir;
    const QDir d(dir.path());
    QVERIFY(d.mkpath("broker") && d.mkpath("log"));
    sim::TestBroker broker(d.filePath("broker"));
    QVERIFY2(broker.start(), qPrintable(broker.log()));
    const QString base = QStringLiteral("plant/dryer5");
    sim::MqttWatcher watcher(broker.port(), base + "/#", QStringLiteral("watcher-five"));
    QFile config(d.filePath("logger.conf"));
    QVERIFY(config.open(QIODevice::WriteOnly));
    // The limits as the window keeps them, in the section Qt writes for them.
    config.write(QStringLiteral("[Publishing]\nenabled=true\nhost=127.0.0.1\nport=%1\nbaseTopic=%2\n"
                                "[limits]\ndewPoint\\alarmHigh=0\ndewPoint\\hysteresis=0.5\n")
                     .arg(broker.port())
                     .arg(base)
                     .toUtf8());
    config.close();
    sim::Simulator unit;
    unit.setMeasurement(sim::MeasurementTenths{450, -105, 235});
    QProcessEnvironment extra;
    extra.insert(QStringLiteral("HMX700_PORTS"), QString::fromStdString(unit.linkPath()));
    QProcess logger;
    const QString logDir = d.filePath("log");
    startLogger(logger, logDir, {"--config", config.fileName()}, {}, extra);
    QByteArray said;
    const auto statuses = [&] { return watcher.payloads(base + "/status"); };
    QTRY_COMPARE_WITH_TIMEOUT(LastStatus(watcher, base), QByteArray("measuring"), 20000);
    for (int outage = 0; outage < 5; ++outage) {
        const qsizetype logged = LogLines(logDir + "/jrt1.txt").size();
        QTRY_VERIFY_WITH_TIMEOUT(LogLines(logDir + "/jrt1.txt").size() >= logged + 2, 10000);
        unit.unplug();
        QTRY_COMPARE_WITH_TIMEOUT(LastStatus(watcher, base), QByteArray("searching"), 10000);
        unit.replug();
        QTRY_COMPARE_WITH_TIMEOUT(LastStatus(watcher, base), QByteArray("measuring"), 20000);
    }
    const auto eventKinds = [&] {
        QStringList kinds;
        for (const QByteArray& payload : watcher.payloads(base + "/event"))
            kinds << QJsonDocument::fromJson(payload).object().value("kind").toString();
        return kinds;
    };
    unit.setMeasurement(sim::MeasurementTenths{450, 30, 235});
    QTRY_VERIFY_WITH_TIMEOUT(eventKinds().contains("limit-crossed"), 10000);
    unit.setMeasurement(sim::MeasurementTenths{450, -105, 235});
    QTRY_VERIFY_WITH_TIMEOUT(eventKinds().contains("limit-cleared"), 10000);
    QTRY_VERIFY2_WITH_TIMEOUT((said += logger.readAll()).contains("limit-cleared quantity=dewPoint"), said.constData(),
                              5000);
    logger.terminate();
    QVERIFY(logger.waitForFinished(15000));
    QCOMPARE(logger.exitCode(), 0);

    const QList<Line> log = LogLines(logDir + "/jrt1.txt");
    for (qsizetype i = 0; i < log.size(); ++i)
        QCOMPARE(log[i].number, int(i + 1));
    bool inOrder = false;
    QCOMPARE(Missing(log, delivered(watcher, base, logDir + "/jrt1.queue"), inOrder).size(), 0);
    QVERIFY(inOrder);
    QList<QByteArray> changes = statuses();
    changes.erase(std::unique(changes.begin(), changes.end()), changes.end());
    QCOMPARE(changes.count("searching"), 5);
    QStringList journal;
    for (const JournalEvent& e : ReadJournal(logDir + "/hmx700-events.txt"))
        journal << e.kind;
    QCOMPARE(journal.count("instrument-lost"), 5);
    QCOMPARE(journal.count("instrument-back"), 5);
    QVERIFY2(journal.indexOf("limit-crossed") > journal.lastIndexOf("instrument-back")
                 && journal.indexOf("limit-cleared") > journal.indexOf("limit-crossed"),
             qPrintable(journal.join(' ')));
    // What went to the broker is what the journal holds, from the connection on.
    QCOMPARE(eventKinds(), journal.mid(journal.indexOf("connect")));
}

// TLS that cannot work, each for its own reason: the status says which, measuring goes on,
// no pass phrase is ever asked for, and SIGTERM ends the program. One broker, with a
// listener per certificate of its own: good, expired, made out for another host.
void TestLogger::tlsFailureNamesItsCause_data()
{
    QTest::addColumn<QString>("listener");   // good, expired, elsewhere
    QTest::addColumn<QString>("ca");         // the CA file the recorder trusts
    QTest::addColumn<QString>("client");     // client certificate and key, "" for none
    QTest::addColumn<QString>("said");       // what the status line must say

    QTest::newRow("a CA that signed nothing of the broker's") << "good" << "other-ca.pem" << ""
                                                             << "certificate is not trusted";
    QTest::newRow("an expired broker certificate") << "expired" << "ca.pem" << "" << "certificate has expired";
    QTest::newRow("a certificate for another host") << "elsewhere" << "ca.pem" << ""
                                                    << "not made out for 127.0.0.1";
    QTest::newRow("a client key that is not the certificate's") << "good" << "ca.pem" << "client.pem other.key"
                                                                 << "does not match the certificate";
    QTest::newRow("a client key with a pass phrase") << "good" << "ca.pem" << "client.pem locked.key"
                                                     << "protected by a pass phrase";
}

void TestLogger::tlsFailureNamesItsCause()
{
    QFETCH(QString, listener);
    QFETCH(QString, ca);
    QFETCH(QString, client);
    QFETCH(QString, said);
    QTemporaryDir dir;
    const QDir d(dir.path());
    const auto openssl = [&](const QStringList& arguments) {
        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.start(QStringLiteral("openssl"), arguments);
        return p.waitForFinished(60000) && p.exitCode() == 0;
    };
    const QStringList ec{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    QVERIFY(openssl(QStringList{"req", "-x509"} + ec + QStringList{"-days", "2", "-subj", "/CN=test CA", "-keyout", "ca.key", "-out", "ca.pem"}));
    QVERIFY(openssl(QStringList{"req", "-x509"} + ec + QStringList{"-days", "2", "-subj", "/CN=other CA", "-keyout", "other-ca.key", "-out", "other-ca.pem"}));
    // name, subjectAltName, days (negative: expired already)
    const QList<std::tuple<QString, QString, QString>> made{
        {"good", "IP:127.0.0.1", "2"}, {"expired", "IP:127.0.0.1", "-1"}, {"elsewhere", "DNS:elsewhere.example", "2"},
        {"client", "DNS:client", "2"}};
    for (const auto& [name, san, days] : made) {
        QFile extensions(d.filePath(name + ".ext"));
        QVERIFY(extensions.open(QIODevice::WriteOnly));
        extensions.write(("subjectAltName=" + san + "\n").toUtf8());
        extensions.close();
        QVERIFY(openssl(QStringList{"req"} + ec + QStringList{"-subj", "/CN=" + name, "-keyout", name + ".key", "-out", name + ".csr"}));
        QVERIFY(openssl({"x509", "-req", "-in", name + ".csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
                         "-days", days, "-extfile", name + ".ext", "-out", name + ".pem"}));
    }
    QVERIFY(openssl(QStringList{"req"} + ec + QStringList{"-subj", "/CN=other", "-keyout", "other.key", "-out", "other.csr"}));
    QVERIFY(openssl({"pkey", "-in", "client.key", "-aes256", "-passout", "pass:secret", "-out", "locked.key"}));

    sim::TestBroker broker(dir.path());
    QMap<QString, int> ports;
    QString config;
    for (const QString& name : QStringList{"good", "expired", "elsewhere"}) {
        ports[name] = sim::TestBroker::FreePort();
        config += QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\ncafile %2\ncertfile %3\nkeyfile %4\n")
                      .arg(ports[name])
                      .arg(d.filePath("ca.pem"), d.filePath(name + ".pem"), d.filePath(name + ".key"));
    }
    broker.setExtraConfig(config);
    QVERIFY2(broker.start(), qPrintable(broker.log()));
    for (const int port : ports)
        QVERIFY(sim::TestBroker::WaitForListener(port, 5000));

    QString ini = QStringLiteral("[Publishing]\nenabled=true\nhost=127.0.0.1\nport=%1\ntls=true\ncaFile=%2\nbaseTopic=plant/tls\n")
                      .arg(ports[listener])
                      .arg(d.filePath(ca));
    if (!client.isEmpty())
        ini += QStringLiteral("certFile=%1\nkeyFile=%2\n").arg(d.filePath(client.section(' ', 0, 0)), d.filePath(client.section(' ', 1, 1)));
    QFile file(d.filePath("logger.conf"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(ini.toUtf8());
    file.close();
    QVERIFY(d.mkpath("log"));
    QProcess logger;
    startLogger(logger, d.filePath("log"), {"--config", file.fileName()});
    QByteArray output;
    QTRY_VERIFY2_WITH_TIMEOUT((output += logger.readAll()).contains(said.toUtf8()), output.constData(), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(LogLines(d.filePath("log/jrt1.txt")).size() >= 2, 20000);
    QVERIFY2(!output.contains("A TLS error occurred") && !output.contains("pass phrase:"), output.constData());
    logger.terminate();
    QVERIFY(logger.waitForFinished(15000));
    QCOMPARE(logger.exitStatus(), QProcess::NormalExit);
    QCOMPARE(logger.exitCode(), 0);
}

// --all: two units from the start, a third plugged in later and a twin of the first (the
// same serial number on another port), each unit logged into <dir>/<serial>/ with its own
// readings only and published under <base>/<serial>; the twin named once and left alone;
// one unit unplugged while the others log on without a gap; "offline" for each at SIGTERM.
void TestLogger::allRecordsEachUnitOnItsOwn()
{
    QTemporaryDir dir;
    const QDir d(dir.path());
    QVERIFY(d.mkpath("broker") && d.mkpath("log") && d.mkpath("ports"));
    sim::TestBroker broker(d.filePath("broker"));
    QVERIFY2(broker.start(), qPrintable(broker.log()));
    const QString base = QStringLiteral("site/hall");
    sim::MqttWatcher watcher(broker.port(), base + "/#", QStringLiteral("watcher-all"));

    // Each unit's humidity is its own, so a log tells whose readings it holds.
    struct Unit {
        quint16 serial;
        int humidity;  // tenths
        std::unique_ptr<sim::Simulator> simulator;
    };
    const auto plug = [&](Unit& unit, const QString& port) {
        unit.simulator = std::make_unique<sim::Simulator>();
        unit.simulator->setVersion(1, 4, unit.serial);
        unit.simulator->setMeasurement(sim::MeasurementTenths{std::int16_t(unit.humidity), -100, 230});
        return QFile::link(QString::fromStdString(unit.simulator->linkPath()), d.filePath("ports/" + port));
    };
    Unit units[] = {{1111, 401, {}}, {2222, 502, {}}, {3333, 603, {}}};
    Unit twin{1111, 709, {}};
    QVERIFY(plug(units[0], "a") && plug(units[1], "b") && plug(twin, "d"));
    QStringList ports;
    for (const char* port : {"a", "b", "c", "d"})
        ports << d.filePath(QStringLiteral("ports/") + port);
    QProcessEnvironment extra;
    extra.insert(QStringLiteral("HMX700_PORTS"), ports.join(':'));
    const QString logDir = d.filePath("log");
    const auto logOf = [&](const Unit& unit) { return QStringLiteral("%1/%2/jrt1.txt").arg(logDir).arg(unit.serial); };
    const auto topicOf = [&](const Unit& unit) { return QStringLiteral("%1/%2").arg(base).arg(unit.serial); };
    QProcess logger;
    startLogger(logger, logDir, {"--all", "--mqtt", QStringLiteral("mqtt://127.0.0.1:%1/%2").arg(broker.port()).arg(base)},
                {}, extra);
    QByteArray said;
    const auto saidNow = [&] { return (said += logger.readAll()).constData(); };
    QTRY_VERIFY2_WITH_TIMEOUT(LogLines(logOf(units[0])).size() >= 2 && LogLines(logOf(units[1])).size() >= 2, saidNow(),
                              30000);

    QVERIFY(plug(units[2], "c"));
    QTRY_VERIFY2_WITH_TIMEOUT(LogLines(logOf(units[2])).size() >= 2, saidNow(), 30000);
    QTRY_COMPARE_WITH_TIMEOUT(LastStatus(watcher, topicOf(units[2])), QByteArray("measuring"), 30000);

    units[0].simulator->unplug();
    QTRY_COMPARE_WITH_TIMEOUT(LastStatus(watcher, topicOf(units[0])), QByteArray("searching"), 30000);
    const qsizetype logged1 = LogLines(logOf(units[1])).size(), logged2 = LogLines(logOf(units[2])).size();
    QTRY_VERIFY_WITH_TIMEOUT(LogLines(logOf(units[1])).size() >= logged1 + 3 && LogLines(logOf(units[2])).size() >= logged2 + 3,
                             30000);
    logger.terminate();
    QVERIFY(logger.waitForFinished(30000));
    QCOMPARE(logger.exitStatus(), QProcess::NormalExit);
    QCOMPARE(logger.exitCode(), 0);
    saidNow();

    // A folder for each unit and none for the twin, which was named once, with the port
    // that holds its serial number.
    QCOMPARE(QDir(logDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             (QStringList{"1111", "2222", "3333"}));
    // One client at the broker for all of them, named by the first unit found.
    QCOMPARE(broker.clients(), QStringList{QStringLiteral("hmx700-1111")});
    const QByteArray twinSaid = "[1111] answers on " + ports[3].toUtf8() + " as well; measured on " + ports[0].toUtf8();
    QVERIFY2(said.count(twinSaid) == 1, said.constData());
    for (const Unit& unit : units) {
        const QString name = QString::number(unit.serial);
        QVERIFY2(said.contains(QStringLiteral("[%1] measuring into %2").arg(name, logOf(unit)).toUtf8()), said.constData());
        // Its own readings, numbered without a gap across the others' comings and goings.
        const QList<Line> log = LogLines(logOf(unit));
        QVERIFY(log.size() >= 2);
        for (qsizetype i = 0; i < log.size(); ++i) {
            QCOMPARE(log[i].number, int(i + 1));
            QCOMPARE(log[i].humidity, Tenths(unit.humidity / 10.0));
        }
        bool inOrder = false;
        const QString queue = QStringLiteral("%1/%2/jrt1.queue").arg(logDir, name);
        QCOMPARE(Missing(log, delivered(watcher, topicOf(unit), queue), inOrder).size(), 0);
        QVERIFY(inOrder);
        QTRY_COMPARE_WITH_TIMEOUT(LastStatus(watcher, topicOf(unit)), QByteArray("offline"), 10000);
        QStringList journal;
        for (const JournalEvent& e : ReadJournal(QStringLiteral("%1/%2/hmx700-events.txt").arg(logDir, name)))
            journal << e.kind + (e.kind == "connect" ? " " + DetailValue(e, "serial") : QString());
        QCOMPARE(journal.count("connect " + name), 1);
        QCOMPARE(journal.count("instrument-lost"), unit.serial == units[0].serial ? 1 : 0);
    }
}

// A unit whose folder another copy measures in is named and left alone; the others are
// recorded as ever, and the other copy's log is never touched.
void TestLogger::allLeavesAUnitAnotherCopyRecords()
{
    QTemporaryDir dir;
    const QDir d(dir.path());
    QVERIFY(d.mkpath("4444") && d.mkpath("5555"));
    sim::Simulator held, free;
    held.setVersion(1, 4, 4444);
    free.setVersion(1, 4, 5555);
    const QString heldLog = d.filePath("4444/jrt1.txt");
    QFile other(heldLog);
    QVERIFY(other.open(QIODevice::WriteOnly) && other.write("another copy's line\n") > 0);
    other.close();
    LogFolderLock anotherCopy(heldLog);
    QCOMPARE(anotherCopy.acquire(), LogFolderLock::Result::Held);
    QProcessEnvironment extra;
    extra.insert(QStringLiteral("HMX700_PORTS"), QString::fromStdString(held.linkPath() + ':' + free.linkPath()));
    QProcess logger;
    startLogger(logger, dir.path(), {"--all"}, {}, extra);
    QByteArray said;
    const auto saidNow = [&] { return (said += logger.readAll()).constData(); };
    QTRY_VERIFY2_WITH_TIMEOUT(LogLines(d.filePath("5555/jrt1.txt")).size() >= 3, saidNow(), 30000);
    QTRY_VERIFY2_WITH_TIMEOUT(said.contains("[4444] left alone until the recorder starts again"), saidNow(), 30000);
    // Still recording the other after the next searches, which leave the held unit alone.
    const qsizetype logged = LogLines(d.filePath("5555/jrt1.txt")).size();
    QTRY_VERIFY_WITH_TIMEOUT(LogLines(d.filePath("5555/jrt1.txt")).size() >= logged + 12, 30000);
    logger.terminate();
    QVERIFY(logger.waitForFinished(30000));
    QCOMPARE(logger.exitCode(), 0);
    saidNow();
    QCOMPARE(said.count("[4444] left alone"), 1);
    QVERIFY(other.open(QIODevice::ReadOnly));
    QCOMPARE(other.readAll(), QByteArray("another copy's line\n"));
    // Nothing renamed or made beside it: the lock is the other copy's.
    QCOMPARE(QDir(d.filePath("4444")).entryList({"jrt1*"}, QDir::Files), (QStringList{"jrt1.txt", "jrt1.txt.lock"}));
}

QTEST_GUILESS_MAIN(TestLogger)
#include "tst_logger.moc"
