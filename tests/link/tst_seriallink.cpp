// The serial link and the simulated instrument over real pseudo-terminals.
#include "link/protocol.h"
#include "link/seriallink.h"
#include "tools/simulator.h"
#include "linkcases.h"
#include "rawpty.h"

#include <algorithm>
#include <QtTest>

#include <array>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

using Bytes = std::vector<std::uint8_t>;
Q_DECLARE_METATYPE(Bytes)

namespace {

int bytesWaiting(hmx::PortHandle port)
{
    int n = 0;
    if (::ioctl(static_cast<int>(port), FIONREAD, &n) != 0)
        return -1;
    return n;
}

// The exchange's own wait, then until the expected reply is complete, so a slow
// machine cannot cut a reply in two.
hmx::SleepFunction waitFor(int expectedBytes)
{
    return [expectedBytes](std::chrono::milliseconds wait) {
        std::this_thread::sleep_for(wait);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (bytesWaiting(hmx::Port) < expectedBytes && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return true;
    };
}

Bytes toBytes(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

Bytes received(std::size_t count)
{
    return Bytes(hmx::ReceiveBuffer, hmx::ReceiveBuffer + count);
}

Bytes settingsFrame(const hmx::sim::SettingsRecord& values)
{
    return linkcases::SettingsFrame(values.data());
}

void putFrame(const Bytes& frame)
{
    std::memset(hmx::TransmitBuffer, 0, sizeof hmx::TransmitBuffer);
    std::memcpy(hmx::TransmitBuffer, frame.data(), frame.size());
}

} // namespace

class SerialLinkTest : public QObject {
    Q_OBJECT

private:
    bool openOn(const std::string& path)
    {
        qputenv("HMX700_PORTS", QByteArray::fromStdString(path));
        return hmx::OpenPort(1) != hmx::InvalidPort;
    }

private slots:
    void init();
    void cleanup();

    void portName_data();
    void portName();
    void systemPortsInNaturalOrder();
    void portOrder_data();
    void portOrder();
    void sameDeviceTriedOnce();
    void openRefused_data();
    void openRefused();
    void openConfiguresRawLine();
    void closeRestoresSettings();
    void heldPortNotOpened_data();
    void heldPortNotOpened();
    void portHeldByAnotherProcess();
    void reopenAfterClose();

    void readNothingWaiting();
    void readCapped_data();
    void readCapped();
    void replySplitAcrossRead();
    void simulatorSplitReply();
    void lateReplyDiscardedBeforeNextCommand();

    void queryFrameSentExactly_data();
    void queryFrameSentExactly();
    void settingsFrameSentWhole_data();
    void settingsFrameSentWhole();
    void strayBytesCounted();

    void identification_data();
    void identification();
    void versionReply();
    void measurementReply();
    void varyingMeasurement();
    void silentInstrument();
    void interruptedWaitReadsNothing();

    void writeApplied_data();
    void writeApplied();

    void lossDetected_data();
    void lossDetected();
    void sendFailsOnVanishedPort();
    void sendFailsOnStalledPort();
    void sendFailsWithoutPort();
};

void SerialLinkTest::init()
{
    hmx::ClearBuffers();
}

void SerialLinkTest::cleanup()
{
    hmx::ClosePort(hmx::Port);
    qunsetenv("HMX700_PORTS");
}

void SerialLinkTest::portName_data()
{
    QTest::addColumn<QByteArray>("list");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("name");
    QTest::newRow("first") << QByteArray("/dev/a:/dev/b") << 1 << "/dev/a";
    QTest::newRow("second") << QByteArray("/dev/a:/dev/b") << 2 << "/dev/b";
    QTest::newRow("port 0") << QByteArray("/dev/a:/dev/b") << 0 << "";
    QTest::newRow("beyond the list") << QByteArray("/dev/a:/dev/b") << 3 << "";
    QTest::newRow("negative") << QByteArray("/dev/a") << -1 << "";
    QTest::newRow("above 255") << QByteArray("/dev/a") << 256 << "";
    QTest::newRow("single entry") << QByteArray("/dev/pts/7") << 1 << "/dev/pts/7";
    QTest::newRow("empty list") << QByteArray("") << 1 << "";
    QTest::newRow("empty entry keeps numbering") << QByteArray("/dev/a::/dev/c") << 3 << "/dev/c";
    QTest::newRow("empty entry opens nothing") << QByteArray("/dev/a::/dev/c") << 2 << "";
}

void SerialLinkTest::portName()
{
    QFETCH(QByteArray, list);
    QFETCH(int, number);
    QFETCH(QString, name);
    qputenv("HMX700_PORTS", list);
    QCOMPARE(QString::fromStdString(hmx::PortName(number)), name);
}

void SerialLinkTest::systemPortsInNaturalOrder()
{
    qunsetenv("HMX700_PORTS");
    QVERIFY(hmx::PortName(0).empty());
    QStringList names;
    for (int n = 1; n <= 255; ++n) {
        const std::string name = hmx::PortName(n);
        if (name.empty())
            break;
        names << QString::fromStdString(name);
    }
    QCOMPARE(QString::fromStdString(hmx::PortName(int(names.size()) + 1)), QString());
    std::vector<std::string> sorted;
    for (const QString& name : names) {
        QVERIFY2(name.startsWith("/dev/"), qPrintable(name));
        QVERIFY2(QFileInfo::exists(name), qPrintable(name));
        sorted.push_back(name.mid(5).toStdString());
    }
    const std::vector<std::string> listed = sorted;
    hmx::SortSerialDeviceNames(sorted);
    QVERIFY(sorted == listed);
}

void SerialLinkTest::portOrder_data()
{
    QTest::addColumn<QString>("names");
    QTest::addColumn<QString>("ordered");
    QTest::newRow("numbers by value") << "ttyS10 ttyS2 ttyS1" << "ttyS1 ttyS2 ttyS10";
    QTest::newRow("USB adapters first") << "ttyS0 ttyACM0 ttyUSB1 ttyAMA0 ttyUSB0"
                                        << "ttyUSB0 ttyUSB1 ttyACM0 ttyAMA0 ttyS0";
    QTest::newRow("leading zeros") << "ttyUSB010 ttyUSB9" << "ttyUSB9 ttyUSB010";
    QTest::newRow("rest by name") << "rfcomm0 ttyS0 ttyAMA1" << "rfcomm0 ttyAMA1 ttyS0";
}

void SerialLinkTest::portOrder()
{
    QFETCH(QString, names);
    QFETCH(QString, ordered);
    std::vector<std::string> list;
    for (const QString& name : names.split(' '))
        list.push_back(name.toStdString());
    hmx::SortSerialDeviceNames(list);
    QStringList result;
    for (const std::string& name : list)
        result << QString::fromStdString(name);
    QCOMPARE(result.join(' '), ordered);
}

void SerialLinkTest::sameDeviceTriedOnce()
{
    // The link and the terminal it points at are one device: the second entry keeps its
    // number but is not tried.
    hmx::sim::Simulator sim;
    qputenv("HMX700_PORTS", QByteArray::fromStdString(sim.linkPath() + ":" + sim.devicePath() + ":/dev/null"));
    const std::vector<std::string> names = hmx::PortNames();
    QCOMPARE(names.size(), std::size_t(256));
    QCOMPARE(names[1], sim.linkPath());
    QCOMPARE(names[2], std::string());
    QCOMPARE(names[3], std::string("/dev/null"));
    QCOMPARE(hmx::OpenPort(2), hmx::InvalidPort);
    QVERIFY(hmx::OpenPort(1) != hmx::InvalidPort);
}

void SerialLinkTest::openRefused_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<int>("failure");
    QTest::newRow("missing device") << "missing" << int(hmx::OpenFailure::Absent);
    QTest::newRow("regular file") << "file" << int(hmx::OpenFailure::NotSerial);
    QTest::newRow("port beyond the list") << "beyond" << int(hmx::OpenFailure::Absent);
    QTest::newRow("no permission") << "denied" << int(hmx::OpenFailure::Denied);
}

void SerialLinkTest::openRefused()
{
    QFETCH(QString, what);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString file = dir.filePath("not-a-port");
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    QFETCH(int, failure);
    qputenv("HMX700_PORTS", (what == "missing" ? dir.filePath("nothing") : file).toLocal8Bit());
    const int number = what == "beyond" ? 2 : 1;
    if (what == "denied") {
        // The superuser opens anything; the refusal is seen by an ordinary user only.
        QVERIFY(f.setPermissions(QFileDevice::Permissions()));
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            if (geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
                _exit(100);
            const bool refused = hmx::OpenPort(number) == hmx::InvalidPort;
            _exit(refused ? int(hmx::LastOpenFailure()) : 101);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), failure);
        return;
    }
    hmx::Port = 12345;  // OpenPort must replace whatever was there
    QCOMPARE(hmx::OpenPort(number), hmx::InvalidPort);
    QCOMPARE(hmx::Port, hmx::InvalidPort);
    QCOMPARE(int(hmx::LastOpenFailure()), failure);
}

void SerialLinkTest::openConfiguresRawLine()
{
    hmx::sim::Simulator sim;
    QVERIFY(openOn(sim.devicePath()));
    termios t {};
    QCOMPARE(tcgetattr(static_cast<int>(hmx::Port), &t), 0);
    QCOMPARE(cfgetospeed(&t), speed_t(B19200));
    QCOMPARE(cfgetispeed(&t), speed_t(B19200));
    QCOMPARE(t.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
    QCOMPARE(t.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
    QCOMPARE(t.c_iflag & (IXON | IXOFF | ICRNL | INLCR | ISTRIP), tcflag_t(0));
    QCOMPARE(t.c_lflag & (ICANON | ECHO | ISIG), tcflag_t(0));
    QCOMPARE(t.c_oflag & OPOST, tcflag_t(0));
    // Reads must never wait, even outside ReadReply.
    QVERIFY(fcntl(static_cast<int>(hmx::Port), F_GETFL) & O_NONBLOCK);
}

void SerialLinkTest::closeRestoresSettings()
{
    RawPty pty;
    QVERIFY(pty.valid());
    termios before {};
    QCOMPARE(tcgetattr(pty.slave, &before), 0);
    before.c_lflag |= ICANON | ECHO;
    cfsetospeed(&before, B9600);
    cfsetispeed(&before, B9600);
    QCOMPARE(tcsetattr(pty.slave, TCSANOW, &before), 0);

    QVERIFY(openOn(pty.path));
    termios during {};
    QCOMPARE(tcgetattr(pty.slave, &during), 0);
    QCOMPARE(during.c_lflag & ICANON, tcflag_t(0));
    const hmx::PortHandle port = hmx::Port;
    hmx::ClosePort(port);
    QCOMPARE(hmx::Port, hmx::InvalidPort);

    termios after {};
    QCOMPARE(tcgetattr(pty.slave, &after), 0);
    QCOMPARE(cfgetospeed(&after), speed_t(B9600));
    QCOMPARE(after.c_lflag & (ICANON | ECHO), tcflag_t(ICANON | ECHO));
}

void SerialLinkTest::heldPortNotOpened_data()
{
    QTest::addColumn<QString>("holder");
    QTest::newRow("our own open port") << "OpenPort";
    QTest::newRow("another descriptor with flock") << "flock";
    QTest::newRow("another descriptor with TIOCEXCL") << "TIOCEXCL";
}

void SerialLinkTest::heldPortNotOpened()
{
    QFETCH(QString, holder);
    hmx::sim::Simulator sim;
    const std::string path = sim.devicePath();
    int other = -1;
    if (holder == "OpenPort") {
        QVERIFY(openOn(path));
    } else {
        if (holder == "TIOCEXCL" && geteuid() == 0)
            QSKIP("the superuser passes TIOCEXCL");
        other = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(other >= 0);
        if (holder == "flock")
            QCOMPARE(::flock(other, LOCK_EX | LOCK_NB), 0);
        else
            QCOMPARE(::ioctl(other, TIOCEXCL), 0);
    }
    const hmx::PortHandle first = hmx::Port;
    qputenv("HMX700_PORTS", QByteArray::fromStdString(path));
    QCOMPARE(hmx::OpenPort(1), hmx::InvalidPort);
    if (holder == "OpenPort") {
        // The first handle still works.
        hmx::Port = first;
        QCOMPARE(hmx::QueryExchange(hmx::IdentifyCommand, hmx::IdentifyWait, hmx::ClearAfterSend::Yes, waitFor(7)),
                 hmx::ExchangeResult::Reply);
        QVERIFY(hmx::ReplyTextIs(hmx::ReceiveBuffer, hmx::ReceiveBufferSize, hmx::ModelName));
    } else {
        ::ioctl(other, TIOCNXCL);
        ::close(other);
        // Once the holder lets go, the port opens.
        QVERIFY(hmx::OpenPort(1) != hmx::InvalidPort);
    }
}

void SerialLinkTest::portHeldByAnotherProcess()
{
    hmx::sim::Simulator sim;
    const std::string path = sim.devicePath();
    int ready[2], release[2];
    QCOMPARE(::pipe(ready), 0);
    QCOMPARE(::pipe(release), 0);
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        // Only async-signal-safe calls here: the parent has threads.
        ::close(ready[0]);
        ::close(release[1]);
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        char ok = (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0) ? 1 : 0;
        if (::write(ready[1], &ok, 1) != 1)
            _exit(2);
        char c;
        while (::read(release[0], &c, 1) > 0) {
        }
        _exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    char ok = 0;
    const bool childReady = ::read(ready[0], &ok, 1) == 1 && ok == 1;
    qputenv("HMX700_PORTS", QByteArray::fromStdString(path));
    const hmx::PortHandle whileHeld = childReady ? hmx::OpenPort(1) : hmx::InvalidPort;
    ::close(release[1]);
    ::close(ready[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    QVERIFY(childReady);
    QCOMPARE(whileHeld, hmx::InvalidPort);
    QVERIFY(hmx::OpenPort(1) != hmx::InvalidPort);
}

void SerialLinkTest::reopenAfterClose()
{
    hmx::sim::Simulator sim;
    for (int round = 0; round < 3; ++round) {
        QVERIFY2(openOn(sim.devicePath()), qPrintable(QString("round %1").arg(round)));
        QCOMPARE(hmx::QueryExchange(hmx::IdentifyCommand, hmx::IdentifyWait, hmx::ClearAfterSend::Yes, waitFor(7)),
                 hmx::ExchangeResult::Reply);
        QVERIFY(hmx::ReplyTextIs(hmx::ReceiveBuffer, hmx::ReceiveBufferSize, hmx::ModelName));
        hmx::ClosePort(hmx::Port);
        QCOMPARE(hmx::Port, hmx::InvalidPort);
    }
}

void SerialLinkTest::readNothingWaiting()
{
    hmx::sim::Simulator sim;
    QVERIFY(openOn(sim.devicePath()));
    std::memset(hmx::ReceiveBuffer, 0xA5, sizeof hmx::ReceiveBuffer);
    QCOMPARE(hmx::ReadReply(hmx::Port, hmx::ReceiveBufferSize), std::size_t(0));
    QCOMPARE(hmx::ReadReply(hmx::InvalidPort, hmx::ReceiveBufferSize), std::size_t(0));
    for (std::uint8_t b : hmx::ReceiveBuffer)
        QCOMPARE(int(b), 0xA5);
}

void SerialLinkTest::readCapped_data()
{
    QTest::addColumn<int>("waiting");
    QTest::addColumn<int>("maxCount");
    QTest::addColumn<int>("firstRead");
    QTest::addColumn<int>("secondRead");
    QTest::newRow("more than 512 waiting") << 600 << 512 << 512 << 88;
    QTest::newRow("maximum above the buffer size") << 700 << 100000 << 512 << 188;
    QTest::newRow("small maximum") << 10 << 4 << 4 << 4;
    QTest::newRow("exactly 512") << 512 << 512 << 512 << 0;
}

void SerialLinkTest::readCapped()
{
    QFETCH(int, waiting);
    QFETCH(int, maxCount);
    QFETCH(int, firstRead);
    QFETCH(int, secondRead);
    RawPty pty;
    QVERIFY(pty.valid());
    QVERIFY(openOn(pty.path));
    Bytes line(static_cast<std::size_t>(waiting));
    for (std::size_t i = 0; i < line.size(); ++i)
        line[i] = static_cast<std::uint8_t>(i % 251);
    QVERIFY(pty.send(line.data(), line.size()));
    QTRY_COMPARE(bytesWaiting(hmx::Port), waiting);

    std::memset(hmx::ReceiveBuffer, 0xA5, sizeof hmx::ReceiveBuffer);
    QCOMPARE(hmx::ReadReply(hmx::Port, std::size_t(maxCount)), std::size_t(firstRead));
    QCOMPARE(received(std::size_t(firstRead)), Bytes(line.begin(), line.begin() + firstRead));
    if (firstRead < int(hmx::ReceiveBufferSize))
        QCOMPARE(int(hmx::ReceiveBuffer[firstRead]), 0xA5);

    // The rest comes out at the front of the next read; the bytes after it stay as they were.
    const Bytes before = received(hmx::ReceiveBufferSize);
    QCOMPARE(hmx::ReadReply(hmx::Port, std::size_t(maxCount)), std::size_t(secondRead));
    QCOMPARE(received(std::size_t(secondRead)), Bytes(line.begin() + firstRead, line.begin() + firstRead + secondRead));
    QCOMPARE(Bytes(hmx::ReceiveBuffer + secondRead, hmx::ReceiveBuffer + hmx::ReceiveBufferSize),
             Bytes(before.begin() + secondRead, before.end()));
}

void SerialLinkTest::replySplitAcrossRead()
{
    RawPty pty;
    QVERIFY(pty.valid());
    QVERIFY(openOn(pty.path));
    QVERIFY(pty.send("HMX"));
    QTRY_COMPARE(bytesWaiting(hmx::Port), 3);
    QCOMPARE(hmx::ReadReply(hmx::Port, 512), std::size_t(3));
    QVERIFY(!hmx::ReplyTextIs(hmx::ReceiveBuffer, hmx::ReceiveBufferSize, hmx::ModelName));
    QVERIFY(hmx::ReplyText(hmx::ReceiveBuffer, hmx::ReceiveBufferSize) == "HMX");

    QVERIFY(pty.send("-700"));
    QTRY_COMPARE(bytesWaiting(hmx::Port), 4);
    QCOMPARE(hmx::ReadReply(hmx::Port, 512), std::size_t(4));
    QVERIFY(hmx::ReplyText(hmx::ReceiveBuffer, hmx::ReceiveBufferSize) == "-700");
}

void SerialLinkTest::simulatorSplitReply()
{
    hmx::sim::Simulator sim;
    sim.setSplitReply(3, std::chrono::milliseconds(1500));
    QVERIFY(openOn(sim.devicePath()));
    QCOMPARE(hmx::QueryExchange(hmx::IdentifyCommand, hmx::IdentifyWait, hmx::ClearAfterSend::Yes, waitFor(3)),
             hmx::ExchangeResult::Reply);
    QVERIFY(hmx::ReplyText(hmx::ReceiveBuffer, hmx::ReceiveBufferSize) == "HMX");
    QVERIFY(!hmx::ReplyTextIs(hmx::ReceiveBuffer, hmx::ReceiveBufferSize, hmx::ModelName));
    QTRY_COMPARE_WITH_TIMEOUT(bytesWaiting(hmx::Port), 4, 10000);
    QCOMPARE(hmx::ReadReply(hmx::Port, 512), std::size_t(4));
    QVERIFY(hmx::ReplyText(hmx::ReceiveBuffer, hmx::ReceiveBufferSize) == "-700");
}

void SerialLinkTest::lateReplyDiscardedBeforeNextCommand()
{
    hmx::sim::Simulator sim;
    sim.setMeasurement(hmx::sim::MeasurementTenths {600, -100, 235});
    sim.setReplyDelay(std::chrono::milliseconds(1000));
    QVERIFY(openOn(sim.devicePath()));
    QCOMPARE(hmx::QueryExchange(hmx::MeasureCommand, std::chrono::milliseconds(50)), hmx::ExchangeResult::NoReply);
    QTRY_COMPARE_WITH_TIMEOUT(bytesWaiting(hmx::Port), 6, 10000);
    // The late reply must not become the front of the next one.
    sim.setReplyDelay(std::chrono::milliseconds(0));
    sim.setMeasurement(hmx::sim::MeasurementTenths {450, -105, 235});
    QCOMPARE(hmx::QueryExchange(hmx::MeasureCommand, hmx::MeasureWait, hmx::ClearAfterSend::No, waitFor(6)),
             hmx::ExchangeResult::Reply);
    QCOMPARE(bytesWaiting(hmx::Port), 0);
    QCOMPARE(received(6), (Bytes {1, 194, 255, 151, 0, 235}));
}

void SerialLinkTest::queryFrameSentExactly_data()
{
    linkcases::AddQueryFrameRows();
}

void SerialLinkTest::queryFrameSentExactly()
{
    QFETCH(QByteArray, frame);
    QFETCH(int, replyLength);
    hmx::sim::Simulator sim;
    QVERIFY(openOn(sim.devicePath()));
    const Bytes expected(frame.begin(), frame.end());
    for (int round = 1; round <= 2; ++round) {
        // Bytes after the terminating zero must never go out.
        std::memset(hmx::TransmitBuffer, 0xFF, sizeof hmx::TransmitBuffer);
        hmx::PutQuery(std::string_view(frame.constData(), std::size_t(frame.size())));
        QVERIFY(hmx::SendCommand());
        QTRY_COMPARE(sim.receivedFrames().size(), std::size_t(round));
        QCOMPARE(sim.receivedFrames().back(), expected);
        QTRY_COMPARE(bytesWaiting(hmx::Port), replyLength);
        QCOMPARE(hmx::ReadReply(hmx::Port, 512), std::size_t(replyLength));
    }
    // A zero sent after the first frame would sit between the two.
    QCOMPARE(sim.receivedBytes().size(), std::size_t(14));
    QCOMPARE(sim.strayByteCount(), std::size_t(0));
}

void SerialLinkTest::settingsFrameSentWhole_data()
{
    QTest::addColumn<Bytes>("record");
    hmx::sim::SettingsRecord zeros {};
    hmx::sim::SettingsRecord mixed = hmx::sim::DefaultSettingsRecord();
    mixed[6] = 0;
    mixed[7] = 0;
    mixed[34] = 0;
    mixed[35] = 0;
    QTest::newRow("all values zero") << Bytes(zeros.begin(), zeros.end());
    QTest::newRow("zeros inside and at the end") << Bytes(mixed.begin(), mixed.end());
    const auto def = hmx::sim::DefaultSettingsRecord();
    QTest::newRow("default record") << Bytes(def.begin(), def.end());
}

void SerialLinkTest::settingsFrameSentWhole()
{
    QFETCH(Bytes, record);
    hmx::sim::Simulator sim;
    sim.setDropAcknowledgement(true);
    QVERIFY(openOn(sim.devicePath()));
    hmx::sim::SettingsRecord values;
    std::copy(record.begin(), record.end(), values.begin());
    const Bytes frame = settingsFrame(values);
    QCOMPARE(frame.size(), hmx::SettingsFrameSize);
    putFrame(frame);
    QVERIFY(hmx::SendSettingsFrame());
    QTRY_COMPARE(sim.receivedFrames().size(), std::size_t(1));
    QCOMPARE(sim.receivedFrames().front(), frame);
    QCOMPARE(sim.receivedBytes(), frame);
    QCOMPARE(sim.strayByteCount(), std::size_t(0));
}

void SerialLinkTest::strayBytesCounted()
{
    hmx::sim::Simulator sim;
    QVERIFY(openOn(sim.devicePath()));
    const char text[] = "xx001i?end";
    std::memcpy(hmx::TransmitBuffer, text, sizeof text);
    QVERIFY(hmx::SendCommand());
    QTRY_COMPARE(sim.receivedFrames().size(), std::size_t(1));
    QCOMPARE(sim.receivedFrames().front(), toBytes("01i?end"));
    QCOMPARE(sim.strayByteCount(), std::size_t(3));
    QCOMPARE(sim.receivedBytes(), toBytes("xx001i?end"));
    sim.clearRecord();
    QCOMPARE(sim.receivedBytes().size(), std::size_t(0));
    QCOMPARE(sim.strayByteCount(), std::size_t(0));
}

void SerialLinkTest::identification_data()
{
    linkcases::AddIdentificationRows();
}

void SerialLinkTest::identification()
{
    QFETCH(QString, model);
    QFETCH(QByteArray, extra);
    QFETCH(bool, accepted);
    hmx::sim::Simulator sim;
    sim.setModelName(model.toStdString());
    sim.setExtraBytes(extra.toStdString());
    QVERIFY(openOn(sim.devicePath()));
    // Leftovers of an earlier exchange must not count: the identify exchange clears first.
    std::memset(hmx::ReceiveBuffer, 'Z', sizeof hmx::ReceiveBuffer);
    const int length = int(model.size() + extra.size());
    QCOMPARE(hmx::QueryExchange(hmx::IdentifyCommand, hmx::IdentifyWait, hmx::ClearAfterSend::Yes, waitFor(length)),
             hmx::ExchangeResult::Reply);
    QCOMPARE(hmx::ReplyTextIs(hmx::ReceiveBuffer, hmx::ReceiveBufferSize, hmx::ModelName), accepted);
    QCOMPARE(int(hmx::ReplyText(hmx::ReceiveBuffer, hmx::ReceiveBufferSize).size()), length);
}

void SerialLinkTest::versionReply()
{
    hmx::sim::Simulator sim;
    sim.setVersion(1, 2, 12345);
    QVERIFY(openOn(sim.devicePath()));
    QCOMPARE(hmx::QueryExchange(hmx::VersionCommand, hmx::VersionWait, hmx::ClearAfterSend::No, waitFor(9)),
             hmx::ExchangeResult::Reply);
    QCOMPARE(received(9).size(), std::size_t(9));
    QCOMPARE(Bytes(hmx::ReceiveBuffer + 5, hmx::ReceiveBuffer + 9), (Bytes {1, 2, 48, 57}));
    const hmx::VersionInfo info = hmx::DecodeVersion(hmx::ReceiveBuffer);
    QCOMPARE(int(info.version), 1);
    QCOMPARE(int(info.revision), 2);
    QCOMPARE(int(info.serialNumber), 12345);
}

void SerialLinkTest::measurementReply()
{
    hmx::sim::Simulator sim;
    sim.setMeasurement(hmx::sim::MeasurementTenths {600, -100, 235});
    QVERIFY(openOn(sim.devicePath()));
    QCOMPARE(hmx::QueryExchange(hmx::MeasureCommand, std::chrono::milliseconds(50), hmx::ClearAfterSend::No, waitFor(6)),
             hmx::ExchangeResult::Reply);
    QCOMPARE(received(6), (Bytes {2, 88, 255, 156, 0, 235}));
    const hmx::Measurement m = hmx::DecodeMeasurement(hmx::ReceiveBuffer);
    QCOMPARE(int(m.humidity), 600);
    QCOMPARE(int(m.dewPoint), -100);
    QCOMPARE(int(m.ambient), 235);
}

void SerialLinkTest::varyingMeasurement()
{
    hmx::sim::Simulator sim;
    QVERIFY(openOn(sim.devicePath()));
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(hmx::QueryExchange(hmx::MeasureCommand, std::chrono::milliseconds(20), hmx::ClearAfterSend::No,
                                    waitFor(6)),
                 hmx::ExchangeResult::Reply);
        const hmx::Measurement m = hmx::DecodeMeasurement(hmx::ReceiveBuffer);
        QVERIFY2(m.humidity >= 400 && m.humidity <= 500, qPrintable(QString::number(m.humidity)));
        QVERIFY2(m.dewPoint >= 80 && m.dewPoint <= 120, qPrintable(QString::number(m.dewPoint)));
        QVERIFY2(m.ambient >= 210 && m.ambient <= 230, qPrintable(QString::number(m.ambient)));
    }
}

void SerialLinkTest::silentInstrument()
{
    hmx::sim::Simulator sim;
    sim.setSilent(true);
    QVERIFY(openOn(sim.devicePath()));
    QCOMPARE(hmx::QueryExchange(hmx::IdentifyCommand, hmx::IdentifyWait, hmx::ClearAfterSend::Yes),
             hmx::ExchangeResult::NoReply);
    // It heard the frame all the same.
    QTRY_COMPARE(sim.receivedFrames().size(), std::size_t(1));
    sim.setSilent(false);
    QCOMPARE(hmx::QueryExchange(hmx::IdentifyCommand, hmx::IdentifyWait, hmx::ClearAfterSend::Yes, waitFor(7)),
             hmx::ExchangeResult::Reply);
    QVERIFY(hmx::ReplyTextIs(hmx::ReceiveBuffer, hmx::ReceiveBufferSize, hmx::ModelName));
}

void SerialLinkTest::interruptedWaitReadsNothing()
{
    hmx::sim::Simulator sim;
    QVERIFY(openOn(sim.devicePath()));
    std::memset(hmx::ReceiveBuffer, 0xA5, sizeof hmx::ReceiveBuffer);
    const auto stopRequested = [&sim](std::chrono::milliseconds) {
        // The reply is there, but a stop request must leave it unread.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (bytesWaiting(hmx::Port) < 6 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return false;
    };
    QCOMPARE(hmx::QueryExchange(hmx::MeasureCommand, hmx::MeasureWait, hmx::ClearAfterSend::No, stopRequested),
             hmx::ExchangeResult::Interrupted);
    QCOMPARE(bytesWaiting(hmx::Port), 6);
    QCOMPARE(int(hmx::ReceiveBuffer[0]), 0xA5);
}

void SerialLinkTest::writeApplied_data()
{
    QTest::addColumn<bool>("dropAcknowledgement");
    QTest::newRow("acknowledged with OK") << false;
    QTest::newRow("acknowledgement dropped") << true;
}

void SerialLinkTest::writeApplied()
{
    QFETCH(bool, dropAcknowledgement);
    hmx::sim::Simulator sim;
    sim.setDropAcknowledgement(dropAcknowledgement);
    const hmx::sim::SettingsRecord old = sim.settingsRecord();
    QVERIFY(openOn(sim.devicePath()));

    hmx::sim::SettingsRecord wanted {};
    for (std::size_t i = 0; i < wanted.size(); ++i)
        wanted[i] = static_cast<std::uint8_t>(100 + i);
    wanted[0] = 2;  // g/m3
    wanted[1] = 7;  // t-tdp
    wanted[9] = 0;  // a zero byte inside the frame
    putFrame(settingsFrame(wanted));
    QVERIFY(hmx::SendSettingsFrame());
    QTRY_COMPARE(sim.receivedFrames().size(), std::size_t(1));

    std::this_thread::sleep_for(hmx::SettingsWriteWait);
    if (dropAcknowledgement) {
        QCOMPARE(hmx::ReadReply(hmx::Port, 512), std::size_t(0));
    } else {
        QTRY_COMPARE(bytesWaiting(hmx::Port), 2);
        QCOMPARE(hmx::ReadReply(hmx::Port, 512), std::size_t(2));
        QVERIFY(hmx::ReplyTextIs(hmx::ReceiveBuffer, hmx::ReceiveBufferSize, hmx::WriteAcknowledgement));
    }

    // Offsets the client writes with its own content keep the instrument's values.
    hmx::sim::SettingsRecord expected = wanted;
    for (std::size_t offset : {4, 5, 14, 17, 20, 21, 30, 33})
        expected[offset] = old[offset];
    QCOMPARE(sim.settingsRecord(), expected);

    // A settings read now returns the record as applied.
    hmx::ClearBuffers();
    QCOMPARE(hmx::QueryExchange(hmx::SettingsReadCommand, std::chrono::milliseconds(20), hmx::ClearAfterSend::No,
                                waitFor(36)),
             hmx::ExchangeResult::Reply);
    QCOMPARE(received(36), Bytes(expected.begin(), expected.end()));
}

void SerialLinkTest::lossDetected_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<bool>("lost");
    QTest::newRow("silent instrument") << "silent" << false;
    QTest::newRow("instrument answering") << "answering" << false;
    QTest::newRow("adapter pulled out") << "unplug" << true;
    QTest::newRow("device node removed") << "remove link" << true;
    QTest::newRow("device node now another device") << "repoint link" << true;
}

void SerialLinkTest::lossDetected()
{
    QFETCH(QString, what);
    QFETCH(bool, lost);
    hmx::sim::Simulator sim;
    hmx::sim::Simulator other;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // Opened through a link of our own, as through /dev/serial/by-id.
    const QString link = dir.filePath("by-id");
    QVERIFY(QFile::link(QString::fromStdString(sim.devicePath()), link));
    QVERIFY(openOn(link.toStdString()));
    QVERIFY(!hmx::PortLost());
    if (what == "silent")
        sim.setSilent(true);
    else if (what == "unplug")
        sim.unplug();
    else if (what == "remove link")
        QVERIFY(QFile::remove(link));
    else if (what == "repoint link")
        QVERIFY(QFile::remove(link) && QFile::link(QString::fromStdString(other.devicePath()), link));

    for (int round = 0; round < 2; ++round)
        hmx::QueryExchange(hmx::MeasureCommand, std::chrono::milliseconds(100));
    QCOMPARE(hmx::PortLost(), lost);
    if (lost) {
        hmx::PutQuery(hmx::MeasureCommand);
        QVERIFY(!hmx::SendCommand());
        // Opening again starts afresh.
        hmx::ClosePort(hmx::Port);
        QVERIFY(hmx::OpenPortByName(other.devicePath()) != hmx::InvalidPort);
        QVERIFY(!hmx::PortLost());
    }
}

void SerialLinkTest::sendFailsOnVanishedPort()
{
    hmx::sim::Simulator sim;
    QVERIFY(openOn(sim.devicePath()));
    sim.disappear();
    QElapsedTimer timer;
    timer.start();
    hmx::PutQuery(hmx::MeasureCommand);
    QVERIFY(!hmx::SendCommand());
    putFrame(settingsFrame(hmx::sim::DefaultSettingsRecord()));
    QVERIFY(!hmx::SendSettingsFrame());
    QCOMPARE(hmx::QueryExchange(hmx::MeasureCommand, std::chrono::milliseconds(10)), hmx::ExchangeResult::SendFailed);
    // Only a hang is caught here; the bound is generous.
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
    std::memset(hmx::ReceiveBuffer, 0xA5, sizeof hmx::ReceiveBuffer);
    QCOMPARE(hmx::ReadReply(hmx::Port, 512), std::size_t(0));
    QCOMPARE(int(hmx::ReceiveBuffer[0]), 0xA5);
}

void SerialLinkTest::sendFailsOnStalledPort()
{
    // Nobody reads the far side: fill the line until it takes nothing more.
    RawPty pty;
    QVERIFY(pty.valid());
    QVERIFY(openOn(pty.path));
    const int fd = static_cast<int>(hmx::Port);
    const std::vector<char> junk(4096, 'x');
    std::size_t total = 0;
    // The terminal moves bytes to the far side's buffer in the background, so room can
    // reappear shortly after a refusal; full means still refused after a pause.
    for (int settled = 0; settled < 3 && total < 64u * 1024 * 1024;) {
        const ssize_t n = ::write(fd, junk.data(), junk.size());
        if (n > 0) {
            total += std::size_t(n);
            settled = 0;
            continue;
        }
        QVERIFY(errno == EAGAIN || errno == EWOULDBLOCK);
        ++settled;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    QVERIFY(total > 0);

    QElapsedTimer timer;
    timer.start();
    hmx::PutQuery(hmx::MeasureCommand);
    QVERIFY(!hmx::SendCommand());
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));

    // Once the far side reads again, the link works again.
    std::vector<char> sink(65536);
    QCOMPARE(fcntl(pty.master, F_SETFL, fcntl(pty.master, F_GETFL) | O_NONBLOCK), 0);
    while (::read(pty.master, sink.data(), sink.size()) > 0) {
    }
    QVERIFY(hmx::SendCommand());
}

void SerialLinkTest::sendFailsWithoutPort()
{
    hmx::Port = hmx::InvalidPort;
    hmx::PutQuery(hmx::IdentifyCommand);
    QVERIFY(!hmx::SendCommand());
    QVERIFY(!hmx::SendSettingsFrame());
    QVERIFY(!hmx::TransmitBytes(hmx::InvalidPort, 7));
    QCOMPARE(hmx::QueryExchange(hmx::IdentifyCommand, std::chrono::milliseconds(1)), hmx::ExchangeResult::SendFailed);
}

QTEST_GUILESS_MAIN(SerialLinkTest)
#include "tst_seriallink.moc"
