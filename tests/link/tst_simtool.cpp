// hmx700-sim from the build tree answers a client written with plain POSIX calls; the
// instrument's model alone answers bytes handed to it, with no terminal in between.
#include "tools/instrumentmodel.h"

#include <QtTest>

#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Reads until `want` bytes have come or the time is up.
QByteArray readFor(int fd, int want, int timeoutMs)
{
    QByteArray got;
    QElapsedTimer timer;
    timer.start();
    while (got.size() < want && timer.elapsed() < timeoutMs) {
        pollfd p {fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        char buffer[256];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            got.append(buffer, n);
        else if (n == 0 || (errno != EINTR && errno != EAGAIN))
            break;
    }
    return got;
}

// Starts hmx700-sim and returns the path it prints first.
QByteArray startSim(QProcess& sim, const QStringList& arguments)
{
    sim.start(QStringLiteral(HMX700_SIM_PATH), arguments);
    if (!sim.waitForStarted(5000))
        return {};
    QElapsedTimer started;
    started.start();
    while (!sim.canReadLine() && started.elapsed() < 10000)
        sim.waitForReadyRead(100);
    return sim.readLine().trimmed();
}

int openRaw(const QByteArray& path)
{
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios t {};
    if (fd >= 0 && tcgetattr(fd, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(fd, TCSANOW, &t);
    }
    return fd;
}

QByteArray command(QProcess& sim, const QByteArray& line)
{
    sim.write(line + '\n');
    QElapsedTimer timer;
    timer.start();
    while (!sim.canReadLine() && timer.elapsed() < 5000)
        sim.waitForReadyRead(50);
    return sim.readLine().trimmed();
}

} // namespace

class SimToolTest : public QObject {
    Q_OBJECT

private slots:
    void answersHandWrittenClient_data();
    void answersHandWrittenClient();
    void rejectsUnknownOption();
    void unplugAndReplugOnCommand();
    void commandsOverTcp();
    void journalRecordAndReset();
    void modelAnswersBytes_data();
    void modelAnswersBytes();
};

void SimToolTest::answersHandWrittenClient_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("identify") << QStringList() << QByteArray("01i?end") << QByteArray("HMX-700");
    QTest::newRow("other model name") << QStringList {"--model", "ABC-1"} << QByteArray("01i?end") << QByteArray("ABC-1");
    QTest::newRow("fixed measurement") << QStringList {"--measure", "600", "-100", "235"} << QByteArray("01t?end")
                                       << QByteArray("\x02\x58\xff\x9c\x00\xeb", 6);
    QTest::newRow("version") << QStringList {"--version", "1", "2", "12345"} << QByteArray("01v?end")
                             << QByteArray();  // checked by its bytes 5..8
}

void SimToolTest::answersHandWrittenClient()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, query);
    QFETCH(QByteArray, reply);

    QProcess sim;
    const QByteArray path = startSim(sim, arguments);
    // A link to the terminal, as /dev/serial/by-id gives for an adapter.
    QVERIFY2(QFileInfo(QString::fromLocal8Bit(path)).symLinkTarget().startsWith("/dev/"), path.constData());

    const int fd = openRaw(path);
    QVERIFY2(fd >= 0, std::strerror(errno));
    QCOMPARE(::write(fd, query.constData(), size_t(query.size())), ssize_t(query.size()));

    if (reply.isEmpty()) {
        const QByteArray got = readFor(fd, 9, 5000);
        QCOMPARE(got.size(), 9);
        QCOMPARE(got.mid(5), QByteArray("\x01\x02\x30\x39", 4));
    } else {
        const QByteArray got = readFor(fd, int(reply.size()), 5000);
        QCOMPARE(got, reply);
        // Nothing trails the reply.
        QCOMPARE(readFor(fd, 1, 200), QByteArray());
    }
    ::close(fd);

    sim.terminate();
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
}

void SimToolTest::rejectsUnknownOption()
{
    QProcess sim;
    sim.start(QStringLiteral(HMX700_SIM_PATH), {"--no-such-option"});
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitCode(), 2);
    QVERIFY(sim.readAllStandardError().contains("--no-such-option"));
}

void SimToolTest::unplugAndReplugOnCommand()
{
    QProcess sim;
    const QByteArray link = startSim(sim, {});
    const int fd = openRaw(link);
    QVERIFY2(fd >= 0, std::strerror(errno));
    const QByteArray before = command(sim, "path");
    QVERIFY2(before.startsWith("/dev/"), before.constData());

    // Pulled out: the open terminal hangs up and the link is gone.
    QCOMPARE(command(sim, "unplug"), QByteArray("ok"));
    pollfd p {fd, POLLIN, 0};
    QCOMPARE(::poll(&p, 1, 2000), 1);
    QVERIFY(p.revents & POLLHUP);
    QVERIFY(!QFileInfo::exists(QString::fromLocal8Bit(link)));
    ::close(fd);

    // Back in: the same link answers again, and the record went on across the gap.
    QCOMPARE(command(sim, "replug"), QByteArray("ok"));
    const int again = openRaw(link);
    QVERIFY2(again >= 0, std::strerror(errno));
    QCOMPARE(::write(again, "01i?end", 7), ssize_t(7));
    QCOMPARE(readFor(again, 7, 5000), QByteArray("HMX-700"));
    ::close(again);
    QCOMPARE(command(sim, "frames"), QByteArray("303169_3f656e64").replace('_', ""));
    QVERIFY(command(sim, "no-such-command").startsWith("error:"));

    sim.terminate();
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitCode(), 0);
}

void SimToolTest::commandsOverTcp()
{
    QProcess sim;
    const QByteArray link = startSim(sim, {"--listen", "0"});
    QVERIFY(!link.isEmpty());
    QTRY_VERIFY(sim.canReadLine());
    const QByteArray listening = sim.readLine().trimmed();
    QVERIFY2(listening.startsWith("listening on 127.0.0.1:"), listening.constData());
    const int port = listening.mid(listening.lastIndexOf(':') + 1).toInt();
    QVERIFY(port > 0);

    // Two clients at once, each answered in turn, and standard input still works.
    int clients[2];
    for (int& fd : clients) {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        QCOMPARE(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    }
    const QByteArray lines = "link\r\nmodel ABC-1\nno-such-command\n";
    QCOMPARE(::write(clients[0], lines.constData(), size_t(lines.size())), ssize_t(lines.size()));
    const QByteArray answers = readFor(clients[0], int(link.size()) + 4 + 6, 5000);
    QVERIFY2(answers.startsWith(link + "\nok\nerror:"), answers.constData());
    QCOMPARE(::write(clients[1], "stray\n", 6), ssize_t(6));
    QCOMPARE(readFor(clients[1], 2, 5000), QByteArray("0\n"));
    for (int fd : clients)
        ::close(fd);
    // The model set over TCP is the one the instrument answers with.
    const int fd = openRaw(link);
    QVERIFY2(fd >= 0, std::strerror(errno));
    QCOMPARE(::write(fd, "01i?end", 7), ssize_t(7));
    QCOMPARE(readFor(fd, 5, 5000), QByteArray("ABC-1"));
    ::close(fd);
    QCOMPARE(command(sim, "frames"), QByteArray("303169_3f656e64").replace('_', ""));

    sim.terminate();
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitCode(), 0);
}

void SimToolTest::journalRecordAndReset()
{
    QProcess sim;
    const QByteArray link = startSim(sim, {});
    const int fd = openRaw(link);
    QVERIFY2(fd >= 0, std::strerror(errno));
    const QByteArray before = command(sim, "path");

    // Exact bytes on the line, line breaks included.
    QCOMPARE(command(sim, "send 00ff0D0a41"), QByteArray("ok"));
    QCOMPARE(readFor(fd, 5, 5000), QByteArray("\x00\xff\r\nA", 5));

    // The record as applied is what a settings read returns; the journal keeps the stray byte.
    QCOMPARE(::write(fd, "x01s?end", 8), ssize_t(8));
    const QByteArray record = readFor(fd, 36, 5000);
    QCOMPARE(record.size(), 36);
    QCOMPARE(command(sim, "record"), record.toHex());
    QCOMPARE(command(sim, "bytes"), QByteArray("x01s?end").toHex());
    QCOMPARE(command(sim, "stray"), QByteArray("1"));

    QCOMPARE(command(sim, "version 1 2 300"), QByteArray("ok"));
    QCOMPARE(::write(fd, "01v?end", 7), ssize_t(7));
    QCOMPARE(readFor(fd, 9, 5000), QByteArray("HMXv \x01\x02\x01\x2c", 9));

    // A settings write changes the record, until the reset below.
    const QByteArray write = "01m" + QByteArray(36, '\x40') + "end";
    QCOMPARE(::write(fd, write.constData(), size_t(write.size())), ssize_t(write.size()));
    QCOMPARE(readFor(fd, 2, 5000), QByteArray("OK"));
    QVERIFY(command(sim, "record") != record.toHex());

    for (const char* bad : {"send 0", "send zz", "send", "version 1 2 70000", "record 1", "reset now"})
        QVERIFY2(command(sim, bad).startsWith("error:"), bad);

    // Reset: a new terminal behind the same link, the starting replies, nothing received.
    QCOMPARE(command(sim, "model ABC-1"), QByteArray("ok"));
    QCOMPARE(command(sim, "silent on"), QByteArray("ok"));
    QCOMPARE(command(sim, "reset"), QByteArray("ok"));
    ::close(fd);
    const QByteArray after = command(sim, "path");
    QVERIFY2(after.startsWith("/dev/") && after != before, after.constData());
    QCOMPARE(command(sim, "bytes"), QByteArray());
    QCOMPARE(command(sim, "frames"), QByteArray());
    QCOMPARE(command(sim, "stray"), QByteArray("0"));
    const int again = openRaw(link);
    QVERIFY2(again >= 0, std::strerror(errno));
    QCOMPARE(::write(again, "01i?end01v?end", 14), ssize_t(14));
    QCOMPARE(readFor(again, 16, 5000), QByteArray("HMX-700HMXv \x01\x00\x30\x39", 16));
    ::close(again);
    QCOMPARE(command(sim, "record"), record.toHex());

    sim.terminate();
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitCode(), 0);
}

void SimToolTest::modelAnswersBytes_data()
{
    QTest::addColumn<QByteArrayList>("reads");  // as they arrive, one millisecond apart
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<int>("splitBytes");        // the rest follows 5 ms later
    QTest::addColumn<QByteArray>("sent");       // each piece as "bytes@ms"
    QTest::addColumn<int>("stray");
    const QByteArray write = "01m" + QByteArray(36, '\x40') + "end";
    QTest::newRow("identify") << QByteArrayList {"01i?end"} << 0 << 0 << QByteArray("HMX-700@0") << 0;
    QTest::newRow("frame across three reads") << QByteArrayList {"0", "1i?e", "nd"} << 0 << 0
                                              << QByteArray("HMX-700@2") << 0;
    QTest::newRow("two frames in one read, late") << QByteArrayList {"01i?end01t?end"} << 40 << 0
                                                  << QByteArray("HMX-700@40 \x02\x58\xff\x9c\x00\xeb@40", 20) << 0;
    QTest::newRow("noise, then a doubled zero") << QByteArrayList {"x001i?end"} << 0 << 0 << QByteArray("HMX-700@0")
                                                << 2;
    QTest::newRow("broken tail, then a frame") << QByteArrayList {"01i?enX01i?end"} << 0 << 0
                                               << QByteArray("HMX-700@0") << 7;
    QTest::newRow("unknown letter") << QByteArrayList {"01q?end"} << 0 << 0 << QByteArray() << 7;
    QTest::newRow("settings write, split") << QByteArrayList {write.left(20), write.mid(20)} << 10 << 1
                                           << QByteArray("O@11 K@16") << 0;
    QTest::newRow("split longer than the reply") << QByteArrayList {"01i?end"} << 0 << 7 << QByteArray("HMX-700@0")
                                                 << 0;
}

void SimToolTest::modelAnswersBytes()
{
    QFETCH(QByteArrayList, reads);
    QFETCH(int, delayMs);
    QFETCH(int, splitBytes);
    QFETCH(QByteArray, sent);
    QFETCH(int, stray);

    using hmx::sim::InstrumentModel;
    const InstrumentModel::Clock::time_point start {};
    InstrumentModel model(start);
    model.behaviour.fixed = hmx::sim::MeasurementTenths {600, -100, 235};
    model.behaviour.delay = std::chrono::milliseconds(delayMs);
    model.behaviour.splitBytes = std::size_t(splitBytes);
    model.behaviour.splitGap = std::chrono::milliseconds(5);
    QByteArrayList pieces;
    for (qsizetype i = 0; i < reads.size(); ++i) {
        const auto* data = reinterpret_cast<const std::uint8_t*>(reads[i].constData());
        for (const InstrumentModel::Chunk& c : model.receive(data, std::size_t(reads[i].size()),
                                                             start + std::chrono::milliseconds(i))) {
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(c.due - start).count();
            pieces << QByteArray(reinterpret_cast<const char*>(c.data.data()), qsizetype(c.data.size())) + '@'
                    + QByteArray::number(qlonglong(ms));
        }
    }
    QCOMPARE(pieces.join(' '), sent);
    QCOMPARE(model.strayCount(), std::size_t(stray));
    QCOMPARE(model.bytes().size(), std::size_t(reads.join().size()));
}

QTEST_GUILESS_MAIN(SimToolTest)
#include "tst_simtool.moc"
