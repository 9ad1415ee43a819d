// The on-disk queue against a plain in-memory model, the payloads, the publisher against a
// real Mosquitto broker (native, also when this test runs under Wine), and the headless
// recorder's options as a user would type them.
#include "humidity/units.h"
#include "instrument/poller.h"
#include "logger/loggeroptions.h"
#include "publish/diskqueue.h"
#include "publish/payloads.h"
#include "publish/publisher.h"

#include <mosquitto.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <algorithm>
#include <deque>

using namespace hmx;

class TestPublishQueue : public QObject {
    Q_OBJECT
private slots:
    void queueMatchesModelThroughCrashes();
    void readingPayload_data();
    void readingPayload();
    void eventPayload();
    void readingsReachTheBrokerInOrder();
    void options_data();
    void options();
    void passwordFileOpenToOthersIsRefused();
};

namespace {

qsizetype LinesOnDisk(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().count('\n') : -1;
}

} // namespace

// Random appends, deliveries, reopenings, torn writes and rewrites (some with appends and
// deliveries while the new file is written): after each step the queue holds exactly what
// the model says, numbered from its front, the oldest go first when it is full, and the
// file on disk never holds more lines than its bound. It starts from a file an unbounded
// earlier run left three times too long.
void TestPublishQueue::queueMatchesModelThroughCrashes()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("jrt1.queue"));
    constexpr std::size_t Limit = 300;
    std::deque<QByteArray> model;
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        for (std::size_t i = 1; i <= 3 * Limit; ++i) {
            model.push_back("t/reading {\"old\":" + QByteArray::number(qulonglong(i)) + "}");
            old.write(model.back() + '\n');
        }
    }
    std::uint64_t dropped = 2 * Limit;
    model.erase(model.begin(), model.begin() + qsizetype(dropped));
    auto queue = std::make_unique<DiskQueue>(path, Limit);
    QVERIFY2(queue->open(), qPrintable(queue->error()));
    std::uint64_t departed = 0;  // since the last open: delivered or dropped
    int next = 0;
    const auto batch = [&](int count) {
        std::vector<QByteArray> messages;
        for (int i = 0; i < count; ++i)
            messages.push_back("t/reading {\"number\":" + QByteArray::number(++next) + "}");
        for (const QByteArray& m : messages) {
            model.push_back(m);
            if (model.size() > Limit) {
                model.pop_front();
                ++dropped;
                ++departed;
            }
        }
        return messages;
    };
    const auto deliver = [&](std::size_t count) {
        queue->removeFront(count);
        model.erase(model.begin(), model.begin() + qsizetype(count));
        departed += count;
    };
    QRandomGenerator random(23);
    for (int step = 0; step < 600; ++step) {
        const int what = random.bounded(12);
        if (what < 5) {
            QVERIFY(queue->append(batch(random.bounded(1, 40)), random.bounded(2) == 0));
        } else if (what < 8) {
            deliver(random.bounded(int(model.size()) + 1));
        } else if (what < 10) {
            // A crash in the middle of an append leaves half a line; the rest must survive.
            queue.reset();
            if (what == 9) {
                QFile file(path);
                QVERIFY(file.open(QIODevice::Append));
                file.write("t/reading {\"numb");
            }
            queue = std::make_unique<DiskQueue>(path, Limit);
            QVERIFY2(queue->open(), qPrintable(queue->error()));
            dropped = 0;
            departed = 0;
        } else {
            DiskQueue::Rewrite rewrite = queue->beginRewrite();
            if (what == 11) {
                QVERIFY(queue->append(batch(random.bounded(1, 40))));
                deliver(random.bounded(int(model.size()) + 1));
            }
            queue->writeRewrite(rewrite);
            QVERIFY2(queue->finishRewrite(rewrite), qPrintable(queue->error()));
        }
        // As the publisher's thread does.
        if (queue->wantsRewrite())
            QVERIFY2(queue->rewrite(), qPrintable(queue->error()));
        QVERIFY(queue->sync());
        QCOMPARE(queue->size(), model.size());
        for (std::size_t i = 0; i < model.size(); ++i)
            QCOMPARE(queue->at(i), model[i]);
        QCOMPARE(queue->droppedCount(), dropped);
        QCOMPARE(queue->firstSeq(), departed);
        QCOMPARE(std::size_t(LinesOnDisk(path)), queue->fileLines());
        QVERIFY(queue->fileLines() <= queue->lineBound());
    }
    // Everything delivered: the files start afresh.
    queue->removeFront(queue->size());
    queue.reset();
    QCOMPARE(QFile(path).size(), 0);
}

void TestPublishQueue::readingPayload_data()
{
    QTest::addColumn<QString>("ini");           // the recorder's settings file
    QTest::addColumn<int>("dewPoint");          // tenths
    QTest::addColumn<int>("ambient");
    QTest::addColumn<QStringList>("derived");   // the members after the three readings
    QTest::addColumn<double>("pascals");        // the pressure they are computed at

    QTest::newRow("the three readings") << QString() << -105 << -3 << QStringList() << 0.0;
    QTest::newRow("frost point and ppmV at 7 barg, in a comma locale")
        << "[Derived]\nquantities=ppmv, frost-point, humidity\npressure=7\npressureUnit=bar\ngauge=true\n" << -105
        << -3 << QStringList{"frostPoint", "ppmv"} << 801325.0;
    QTest::newRow("wet bulb in °F at 14.5 psi")
        << "[Derived]\nquantities=wet-bulb-f\npressure=14.5\npressureUnit=psi\n" << 120 << 253
        << QStringList{"wetBulbF"} << 14.5 * 6894.757293168;
    QTest::newRow("dew point above the air: out of range")
        << "[Derived]\nquantities=absolute-humidity\n" << 100 << 50 << QStringList{"absoluteHumidity"} << 101325.0;
}

void TestPublishQueue::readingPayload()
{
    QFETCH(QString, ini);
    QFETCH(int, dewPoint);
    QFETCH(int, ambient);
    QFETCH(QStringList, derived);
    QFETCH(double, pascals);
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("logger.ini")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(ini.toUtf8());
    file.close();
    QSettings settings(file.fileName(), QSettings::IniFormat);
    const DerivedChoice choice = LoadDerivedChoice(settings);
    QLocale::setDefault(QLocale(QLocale::Polish));  // numbers keep '.' all the same
    const auto restore = qScopeGuard([] { QLocale::setDefault(QLocale::c()); });

    Reading reading;
    reading.number = 17;
    reading.time = QDateTime(QDate(2026, 12, 8), QTime(9, 15, 2, 250), QTimeZone(3600));
    reading.humidity = 456;
    reading.dewPoint = std::int16_t(dewPoint);
    reading.ambient = std::int16_t(ambient);
    const QByteArray payload = ReadingPayload(reading, choice);
    QJsonParseError error;
    const QJsonObject json = QJsonDocument::fromJson(payload, &error).object();
    QVERIFY2(error.error == QJsonParseError::NoError, payload.constData());
    QCOMPARE(json.value(QStringLiteral("time")).toString(), QStringLiteral("2026-12-08T09:15:02.250+01:00"));
    QCOMPARE(json.value(QStringLiteral("number")).toInt(), 17);
    QCOMPARE(json.value(QStringLiteral("humidity")).toDouble(), 45.6);
    QCOMPARE(json.value(QStringLiteral("dewPoint")).toDouble(), dewPoint / 10.0);
    QCOMPARE(json.value(QStringLiteral("ambient")).toDouble(), ambient / 10.0);
    QCOMPARE(json.keys().size(), 5 + derived.size());

    // Each member as the table's quantity at the stated pressure, with its shown decimals.
    const humidity::State state = humidity::FromReading(ambient / 10.0, dewPoint / 10.0, pascals);
    for (const QString& name : derived) {
        const auto found = std::find_if(choice.shown.begin(), choice.shown.end(),
                                        [&](humidity::Quantity q) { return JsonName(q) == name; });
        QVERIFY2(found != choice.shown.end(), qPrintable(name));
        const std::optional<double> value = state[*found];
        const QByteArray text = value ? QByteArray::fromStdString(humidity::FormatNumber(*value, humidity::Info(*found).decimals))
                                      : QByteArrayLiteral("null");
        QVERIFY2(payload.contains('"' + name.toLatin1() + "\":" + text), payload.constData());
    }
}

void TestPublishQueue::eventPayload()
{
    // The journal's details become members; a value may hold '=' itself.
    const QDateTime time(QDate(2026, 7, 1), QTime(3, 12, 5, 7), QTimeZone(7200));
    const QJsonObject json = QJsonDocument::fromJson(EventPayload(time, QStringLiteral("chart-loaded"),
        {QStringLiteral("file=/data/a=b.txt"), QStringLiteral("points=120")})).object();
    QCOMPARE(json.value(QStringLiteral("time")).toString(), QStringLiteral("2026-07-01T03:12:05.007+02:00"));
    QCOMPARE(json.value(QStringLiteral("kind")).toString(), QStringLiteral("chart-loaded"));
    QCOMPARE(json.value(QStringLiteral("file")).toString(), QStringLiteral("/data/a=b.txt"));
    QCOMPARE(json.value(QStringLiteral("points")).toString(), QStringLiteral("120"));
    QCOMPARE(json.size(), 4);
}

// The broker of the test's fixture (tests/publish/test-broker.sh), a subscriber driven from
// this thread, and the publisher: every reading arrives once, in order, and "offline" last.
void TestPublishQueue::readingsReachTheBrokerInOrder()
{
    QFile portFile(QStringLiteral(HMX700_TEST_BROKER_DIR "/port"));
    QVERIFY2(portFile.open(QIODevice::ReadOnly), qPrintable(portFile.fileName()));
    const int port = portFile.readAll().trimmed().toInt();
    QVERIFY(port > 0);
    const QString base = QStringLiteral("test/%1").arg(QDateTime::currentMSecsSinceEpoch());

    mosquitto_lib_init();
    struct Received {
        QList<int> numbers;
        QList<QByteArray> statuses;
    } received;
    mosquitto* subscriber = mosquitto_new(nullptr, true, &received);
    QVERIFY(subscriber);
    mosquitto_message_callback_set(subscriber, [](mosquitto*, void* self, const mosquitto_message* m) {
        auto* r = static_cast<Received*>(self);
        const QByteArray payload(static_cast<const char*>(m->payload), m->payloadlen);
        if (QByteArray(m->topic).endsWith("/reading"))
            r->numbers.append(QJsonDocument::fromJson(payload).object().value(QStringLiteral("number")).toInt());
        else if (QByteArray(m->topic).endsWith("/status"))
            r->statuses.append(payload);
    });
    QCOMPARE(mosquitto_connect(subscriber, "127.0.0.1", port, 30), int(MOSQ_ERR_SUCCESS));
    QCOMPARE(mosquitto_subscribe(subscriber, nullptr, (base + QStringLiteral("/#")).toUtf8().constData(), 1),
             int(MOSQ_ERR_SUCCESS));
    // The network loop, from this thread: a call reads one packet at most, so it runs many.
    const auto pump = [subscriber] {
        for (int i = 0; i < 1000; ++i)
            if (mosquitto_loop(subscriber, i == 0 ? 10 : 0, 1) != MOSQ_ERR_SUCCESS)
                return false;
        return true;
    };
    for (int i = 0; i < 20; ++i)
        pump();  // the subscription is in place before the first reading

    QTemporaryDir dir;
    PublishSettings settings;
    settings.enabled = true;
    settings.host = QStringLiteral("127.0.0.1");
    settings.port = port;
    settings.baseTopic = base;
    constexpr int Count = 500;
    {
        Publisher publisher(settings, VersionInfo{}, dir.filePath(QStringLiteral("jrt1.queue")));
        QVERIFY2(publisher.start(), qPrintable(publisher.queueError()));
        for (int n = 1; n <= Count; ++n) {
            Reading reading;
            reading.number = n;
            reading.time = QDateTime::currentDateTime();
            publisher.publishReading(reading);
        }
        QTRY_VERIFY_WITH_TIMEOUT(pump() && received.numbers.size() >= Count, 30000);
    }
    QTRY_VERIFY_WITH_TIMEOUT(pump() && received.statuses.endsWith("offline"), 10000);
    mosquitto_destroy(subscriber);
    QList<int> expected;
    for (int n = 1; n <= Count; ++n)
        expected.append(n);
    QCOMPARE(received.numbers, expected);
    QCOMPARE(received.statuses.first(), QByteArray("measuring"));
}

void TestPublishQueue::options_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("ini");           // written to a file named by --config
    QTest::addColumn<QString>("problem");       // a word the refusal must contain; empty: accepted
    QTest::addColumn<QString>("broker");        // host:port tls user base, as read

    QTest::newRow("plain URL") << QStringList{"--mqtt", "mqtt://broker.local/site/dryer1"} << QString() << QString()
                               << "broker.local:1883 0  site/dryer1";
    QTest::newRow("TLS URL with user and port")
        << QStringList{"--mqtt", "mqtts://plant@10.0.0.5:9883"} << QString() << QString() << "10.0.0.5:9883 1 plant ";
    QTest::newRow("INI file") << QStringList{} << "[Publishing]\nenabled=true\nhost=b\nport=1884\nqos=2\nuser=u\n"
                              << QString() << "b:1884 0 u ";
    QTest::newRow("URL over the INI file") << QStringList{"--mqtt", "mqtt://c:1"}
                                           << "[Publishing]\nenabled=true\nhost=b\nuser=u\nbaseTopic=x/y\n" << QString()
                                           << "c:1 0 u x/y";
    QTest::newRow("password in the URL") << QStringList{"--mqtt", "mqtt://u:secret@h"} << QString() << "password"
                                         << QString();
    QTest::newRow("other scheme") << QStringList{"--mqtt", "http://h"} << QString() << "no broker URL" << QString();
    QTest::newRow("unknown option") << QStringList{"--colour"} << QString() << "colour" << QString();
    QTest::newRow("stray argument") << QStringList{"ttyUSB0"} << QString() << "unexpected" << QString();
    QTest::newRow("missing folder") << QStringList{"--dir", "/nonexistent/hmx"} << QString() << "no folder" << QString();
    QTest::newRow("QoS out of range") << QStringList{} << "[Publishing]\nenabled=true\nhost=b\nqos=3\n" << "QoS"
                                      << QString();
    QTest::newRow("wildcard in the topic") << QStringList{"--mqtt", "mqtt://h/site/+"} << QString() << "'+'" << QString();
    QTest::newRow("certificate without key") << QStringList{} << "[Publishing]\nenabled=true\nhost=b\ncertFile=c.pem\n"
                                             << "key" << QString();
}

void TestPublishQueue::options()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, ini);
    QFETCH(QString, problem);
    QFETCH(QString, broker);
    QTemporaryDir dir;
    if (!ini.isEmpty()) {
        QFile file(dir.filePath(QStringLiteral("logger.conf")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(ini.toUtf8());
        arguments << QStringLiteral("--config") << file.fileName();
    }
    LoggerOptions options;
    const QString refusal = ReadLoggerOptions(arguments, QProcessEnvironment(), options);
    if (problem.isEmpty()) {
        QVERIFY2(refusal.isEmpty(), qPrintable(refusal));
        const PublishSettings& p = options.publish;
        QVERIFY(p.enabled);
        QCOMPARE(QStringLiteral("%1:%2 %3 %4 %5").arg(p.host).arg(p.port).arg(int(p.tls)).arg(p.user, p.baseTopic),
                 broker);
    } else {
        QVERIFY2(refusal.contains(problem), qPrintable(refusal));
    }
}

void TestPublishQueue::passwordFileOpenToOthersIsRefused()
{
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("password")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("s3cret\n");
    file.close();
    const QStringList arguments{"--mqtt", "mqtt://u@h", "--password-file", file.fileName()};
    LoggerOptions options;
#ifndef Q_OS_WIN
    // Windows keeps a file's access in lists, which the recorder leaves to the user.
    QVERIFY(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther));
    const QString refusal = ReadLoggerOptions(arguments, QProcessEnvironment(), options);
    QVERIFY2(refusal.contains(QStringLiteral("other users")), qPrintable(refusal));
    QVERIFY(!refusal.contains(QStringLiteral("s3cret")));
    QVERIFY(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
#endif
    QProcessEnvironment environment;
    environment.insert(QLatin1String(PasswordVariable), QStringLiteral("from-environment"));
    QCOMPARE(ReadLoggerOptions(arguments, environment, options), QString());
    QCOMPARE(options.publish.password, QStringLiteral("s3cret"));  // the file wins over the environment

    LoggerOptions fromEnvironment;
    QCOMPARE(ReadLoggerOptions({"--mqtt", "mqtt://u@h"}, environment, fromEnvironment), QString());
    QCOMPARE(fromEnvironment.publish.password, QStringLiteral("from-environment"));
}

QTEST_GUILESS_MAIN(TestPublishQueue)
#include "tst_publishqueue.moc"
