// hmx700-sim from the build tree answers a client written with plain POSIX calls.
#include <QtTest>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
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

} // namespace

class SimToolTest : public QObject {
    Q_OBJECT

private slots:
    void answersHandWrittenClient_data();
    void answersHandWrittenClient();
    void rejectsUnknownOption();
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
    sim.start(QStringLiteral(HMX700_SIM_PATH), arguments);
    QVERIFY2(sim.waitForStarted(5000), qPrintable(sim.errorString()));
    QElapsedTimer started;
    started.start();
    while (!sim.canReadLine() && started.elapsed() < 10000)
        sim.waitForReadyRead(100);
    QVERIFY(sim.canReadLine());
    const QByteArray path = sim.readLine().trimmed();
    QVERIFY2(path.startsWith("/dev/"), path.constData());

    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY2(fd >= 0, std::strerror(errno));
    termios t {};
    QCOMPARE(tcgetattr(fd, &t), 0);
    cfmakeraw(&t);
    QCOMPARE(tcsetattr(fd, TCSANOW, &t), 0);
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

QTEST_GUILESS_MAIN(SimToolTest)
#include "tst_simtool.moc"
