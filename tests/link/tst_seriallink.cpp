// The serial link through a real port against the simulated instrument: a pseudo-terminal on
// POSIX, a COM port under Wine on Windows (testinstrument.h says how each is reached).
#include "link/protocol.h"
#include "link/seriallink.h"
#include "testinstrument.h"

#include <QtTest>

#include <algorithm>
#include <cstring>
#include <memory>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include "rawpty.h"
#include "tools/simulator.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace {

// The exchange's own wait, then until the expected reply is complete, so a slow
// machine cannot cut a reply in two.
hmx::SleepFunction waitFor(const hmx::SerialLink& link, int expectedBytes)
{
    return [port = link.handle(), expectedBytes](std::chrono::milliseconds wait) {
        std::this_thread::sleep_for(wait);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (BytesWaiting(port) < expectedBytes && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return true;
    };
}

Bytes toBytes(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

Bytes received(const hmx::SerialLink& link, std::size_t count)
{
    return Bytes(link.ReceiveBuffer, link.ReceiveBuffer + count);
}

void putFrame(hmx::SerialLink& link, const Bytes& frame)
{
    std::memset(link.TransmitBuffer, 0, sizeof link.TransmitBuffer);
    std::memcpy(link.TransmitBuffer, frame.data(), frame.size());
}

// The client's side of the write: record offset n goes out at frame offset n + 3, with the
// unit codes repeated and the client's own marks in place.
Bytes settingsFrame(const Bytes& values)
{
    Bytes r(values.begin(), values.begin() + 36);
    r[0] = static_cast<std::uint8_t>(values[0] + 30);
    r[1] = static_cast<std::uint8_t>(values[1] + 30);
    r[4] = values[0];
    r[5] = values[1];
    r[14] = r[17] = r[30] = r[33] = 'k';
    r[20] = r[21] = 'j';
    Bytes frame(42);
    frame[0] = '0';
    frame[1] = '1';
    frame[2] = 'm';
    std::copy(r.begin(), r.end(), frame.begin() + 3);
    frame[39] = 'e';
    frame[40] = 'n';
    frame[41] = 'd';
    return frame;
}

#ifdef _WIN32
// Wine says who it is through an export of its ntdll.
bool runningOnWine()
{
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}
#endif

} // namespace

class SerialLinkTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TestInstrument> sim;
    std::unique_ptr<hmx::SerialLink> link;  // the case's open port
    bool open()
    {
        link = sim->openPort().link;
        return link != nullptr;
    }
#ifndef _WIN32
    bool openOn(const std::string& path)
    {
        qputenv("HMX700_PORTS", QByteArray::fromStdString(path));
        link = hmx::SerialLink::OpenNumber(1).link;
        return link != nullptr;
    }
#endif

private slots:
    void init();
    void cleanup();

    void portName_data();
    void portName();
#ifndef _WIN32
    void systemPortsInNaturalOrder();
#endif
    void portOrder_data();
    void portOrder();
#ifndef _WIN32
    void sameDeviceTriedOnce();
#endif
    void openRefused_data();
    void openRefused();
#ifdef _WIN32
    void openConfiguresLine();
#else
    void openConfiguresRawLine();
    void closeRestoresSettings();
#endif
    void heldPortNotOpened_data();
    void heldPortNotOpened();
#ifndef _WIN32
    void portHeldByAnotherProcess();
#endif
    void reopenAfterClose();

    void readNothingWaiting();
    void readCapped_data();
    void readCapped();
    void replySplitAcrossRead();
    void simulatorSplitReply();
    void watchedReplyWhole_data();
    void watchedReplyWhole();
    void lateReplyDiscardedBeforeNextCommand();
    void lateReplyComesFirstInNextRead();
    void leftoverInputDiscarded();

    void putQuery_data();
    void putQuery();
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

#ifndef _WIN32
    void lossDetected_data();
    void lossDetected();
#endif
    void lostPortMidRun();
    void sendFailsOnVanishedPort();
    void sendFailsOnStalledPort();
    void sendFailsWhenStopped();
};

void SerialLinkTest::init()
{
    sim = std::make_unique<TestInstrument>();
    QVERIFY2(sim->ready(), sim->failure());
}

void SerialLinkTest::cleanup()
{
    link.reset();
    sim.reset();
    qunsetenv("HMX700_PORTS");
}

void SerialLinkTest::portName_data()
{
    // The list is HMX700_PORTS, which names the ports on POSIX only.
    QTest::addColumn<QByteArray>("list");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("name");
#ifdef _WIN32
    QTest::newRow("one digit") << QByteArray() << 1 << "\\\\.\\COM1";
    QTest::newRow("two digits") << QByteArray() << 12 << "\\\\.\\COM12";
    QTest::newRow("highest") << QByteArray() << 255 << "\\\\.\\COM255";
    QTest::newRow("port 0 of the scan") << QByteArray() << 0 << "\\\\.\\COM0";
    QTest::newRow("negative") << QByteArray() << -1 << "";
    QTest::newRow("above 255") << QByteArray() << 256 << "";
#else
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
#endif
}

void SerialLinkTest::portName()
{
    QFETCH(QByteArray, list);
    QFETCH(int, number);
    QFETCH(QString, name);
    qputenv("HMX700_PORTS", list);
    QCOMPARE(QString::fromStdString(hmx::PortName(number)), name);
    if (!name.isEmpty())
        QCOMPARE(QString::fromStdString(hmx::PortNames().at(std::size_t(number))), name);
}

#ifndef _WIN32
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
#endif

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

#ifndef _WIN32
void SerialLinkTest::sameDeviceTriedOnce()
{
    // The link and the terminal it points at are one device: the second entry keeps its
    // number but is not tried.
    const hmx::sim::Simulator& device = sim->simulator();
    qputenv("HMX700_PORTS", QByteArray::fromStdString(device.linkPath() + ":" + device.devicePath() + ":/dev/null"));
    const std::vector<std::string> names = hmx::PortNames();
    QCOMPARE(names.size(), std::size_t(256));
    QCOMPARE(names[1], device.linkPath());
    QCOMPARE(names[2], std::string());
    QCOMPARE(names[3], std::string("/dev/null"));
    QVERIFY(!hmx::SerialLink::OpenNumber(2).link);
    QVERIFY(hmx::SerialLink::OpenNumber(1).link);
}
#endif

void SerialLinkTest::openRefused_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<int>("failure");
    QTest::newRow("missing device") << "missing" << int(hmx::OpenFailure::Absent);
    QTest::newRow("regular file") << "file" << int(hmx::OpenFailure::NotSerial);
#ifdef _WIN32
    QTest::newRow("port nobody has") << "unmapped" << int(hmx::OpenFailure::Absent);
    QTest::newRow("port beyond 255") << "beyond" << int(hmx::OpenFailure::Absent);
#else
    QTest::newRow("port beyond the list") << "beyond" << int(hmx::OpenFailure::Absent);
    QTest::newRow("no permission") << "denied" << int(hmx::OpenFailure::Denied);
#endif
}

void SerialLinkTest::openRefused()
{
    QFETCH(QString, what);
    QFETCH(int, failure);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString file = QDir::toNativeSeparators(dir.filePath("not-a-port"));
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    const QString path = what == "missing" ? QDir::toNativeSeparators(dir.filePath("nothing")) : file;
#ifdef _WIN32
    // Port numbers are COM numbers here, so a path is opened by its name.
    constexpr int nothingMappedTo = 200;
    const auto open = [&] {
        if (what == "unmapped")
            return hmx::SerialLink::OpenNumber(nothingMappedTo);
        if (what == "beyond")
            return hmx::SerialLink::OpenNumber(256);
        return hmx::SerialLink::Open(path.toStdString());
    };
#else
    qputenv("HMX700_PORTS", path.toLocal8Bit());
    const int number = what == "beyond" ? 2 : 1;
    if (what == "denied") {
        // The superuser opens anything; the refusal is seen by an ordinary user only.
        QVERIFY(f.setPermissions(QFileDevice::Permissions()));
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            if (geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
                _exit(100);
            const hmx::SerialLink::Opened opened = hmx::SerialLink::OpenNumber(number);
            _exit(!opened.link ? int(opened.failure) : 101);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), failure);
        return;
    }
    const auto open = [number] { return hmx::SerialLink::OpenNumber(number); };
#endif
    const hmx::SerialLink::Opened opened = open();
    QVERIFY(!opened.link);
    QCOMPARE(int(opened.failure), failure);
#ifdef _WIN32
    // Nothing of it stays open: the file can be removed at once.
    QVERIFY(QFile::remove(file));
#endif
}

#ifdef _WIN32
void SerialLinkTest::openConfiguresLine()
{
    hmx::SerialLink::Opened opened = sim->openPort();
    QVERIFY(opened.link);
    QCOMPARE(int(opened.failure), int(hmx::OpenFailure::None));
    link = std::move(opened.link);
    const HANDLE port = reinterpret_cast<HANDLE>(link->handle());
    DCB dcb {};
    dcb.DCBlength = sizeof dcb;
    QVERIFY(GetCommState(port, &dcb));
    QCOMPARE(dcb.BaudRate, DWORD(19200));
    QCOMPARE(int(dcb.ByteSize), 8);
    QCOMPARE(int(dcb.Parity), NOPARITY);
    QCOMPARE(int(dcb.StopBits), ONESTOPBIT);
    QCOMPARE(int(dcb.fOutxCtsFlow), 0);
    QCOMPARE(int(dcb.fOutxDsrFlow), 0);
    if (!runningOnWine()) {
        // Wine reports DTR and RTS from the modem lines, which a pseudo-terminal lacks, and
        // calls both enabled whatever SetCommState was given.
        QCOMPARE(int(dcb.fDtrControl), DTR_CONTROL_DISABLE);
        QCOMPARE(int(dcb.fRtsControl), RTS_CONTROL_DISABLE);
    }
    QCOMPARE(int(dcb.fOutX), 0);
    QCOMPARE(int(dcb.fInX), 0);
    DWORD mask = 0;
    QVERIFY(GetCommMask(port, &mask));
    QCOMPARE(mask, DWORD(EV_TXEMPTY));
    // No read may wait for more than is there, and no write for ever.
    COMMTIMEOUTS timeouts {};
    QVERIFY(GetCommTimeouts(port, &timeouts));
    QCOMPARE(timeouts.ReadIntervalTimeout, MAXDWORD);
    QCOMPARE(timeouts.ReadTotalTimeoutMultiplier, DWORD(0));
    QCOMPARE(timeouts.ReadTotalTimeoutConstant, DWORD(0));
    QVERIFY(timeouts.WriteTotalTimeoutConstant > 0);
}
#else
void SerialLinkTest::openConfiguresRawLine()
{
    QVERIFY(open());
    termios t {};
    QCOMPARE(tcgetattr(static_cast<int>(link->handle()), &t), 0);
    QCOMPARE(cfgetospeed(&t), speed_t(B19200));
    QCOMPARE(cfgetispeed(&t), speed_t(B19200));
    QCOMPARE(t.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
    QCOMPARE(t.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
    QCOMPARE(t.c_iflag & (IXON | IXOFF | ICRNL | INLCR | ISTRIP), tcflag_t(0));
    QCOMPARE(t.c_lflag & (ICANON | ECHO | ISIG), tcflag_t(0));
    QCOMPARE(t.c_oflag & OPOST, tcflag_t(0));
    // Reads must never wait, even outside ReadReply.
    QVERIFY(fcntl(static_cast<int>(link->handle()), F_GETFL) & O_NONBLOCK);
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
    link.reset();

    termios after {};
    QCOMPARE(tcgetattr(pty.slave, &after), 0);
    QCOMPARE(cfgetospeed(&after), speed_t(B9600));
    QCOMPARE(after.c_lflag & (ICANON | ECHO), tcflag_t(ICANON | ECHO));
}
#endif

void SerialLinkTest::heldPortNotOpened_data()
{
    QTest::addColumn<QString>("holder");
    QTest::newRow("our own open port") << "link";
#ifndef _WIN32
    QTest::newRow("another descriptor with flock") << "flock";
    QTest::newRow("another descriptor with TIOCEXCL") << "TIOCEXCL";
#endif
}

void SerialLinkTest::heldPortNotOpened()
{
    QFETCH(QString, holder);
#ifndef _WIN32
    int other = -1;
    if (holder != "link") {
        if (holder == "TIOCEXCL" && geteuid() == 0)
            QSKIP("the superuser passes TIOCEXCL");
        other = ::open(sim->simulator().devicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(other >= 0);
        if (holder == "flock")
            QCOMPARE(::flock(other, LOCK_EX | LOCK_NB), 0);
        else
            QCOMPARE(::ioctl(other, TIOCEXCL), 0);
    }
#endif
    if (holder == "link")
        QVERIFY(open());
    hmx::SerialLink::Opened again = sim->openPort();
#ifdef _WIN32
    if (again.link && runningOnWine()) {
        // CreateFile on a communications resource asks for exclusive access, and Windows
        // refuses a second open with ERROR_ACCESS_DENIED; Wine does not enforce it.
        QSKIP("Wine opens a COM port twice");
    }
#endif
    QVERIFY(!again.link);
    QCOMPARE(int(again.failure), int(hmx::OpenFailure::Busy));
    if (holder == "link") {
        // The first link still works.
        QCOMPARE(hmx::QueryExchange(*link, hmx::IdentifyCommand, hmx::IdentifyWait, hmx::ClearAfterSend::Yes, waitFor(*link, 7)),
                 hmx::ExchangeResult::Reply);
        QVERIFY(hmx::ReplyTextIs(link->ReceiveBuffer, hmx::ReceiveBufferSize, hmx::ModelName));
    } else {
#ifndef _WIN32
        ::ioctl(other, TIOCNXCL);
        ::close(other);
#endif
        // Once the holder lets go, the port opens.
        QVERIFY(open());
    }
}

#ifndef _WIN32
void SerialLinkTest::portHeldByAnotherProcess()
{
    const std::string path = sim->simulator().devicePath();
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
    const bool openedWhileHeld = childReady && hmx::SerialLink::OpenNumber(1).link;
    ::close(release[1]);
    ::close(ready[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    QVERIFY(childReady);
    QVERIFY(!openedWhileHeld);
    QVERIFY(hmx::SerialLink::OpenNumber(1).link);
}
#endif

void SerialLinkTest::reopenAfterClose()
{
    for (int round = 0; round < 3; ++round) {
        QVERIFY2(open(), qPrintable(QString("round %1").arg(round)));
        QCOMPARE(hmx::QueryExchange(*link, hmx::IdentifyCommand, hmx::IdentifyWait, hmx::ClearAfterSend::Yes, waitFor(*link, 7)),
                 hmx::ExchangeResult::Reply);
        QVERIFY(hmx::ReplyTextIs(link->ReceiveBuffer, hmx::ReceiveBufferSize, hmx::ModelName));
        link.reset();
    }
}

void SerialLinkTest::readNothingWaiting()
{
    QVERIFY(open());
    std::memset(link->ReceiveBuffer, 0xA5, sizeof link->ReceiveBuffer);
    QCOMPARE(link->ReadReply(hmx::ReceiveBufferSize), std::size_t(0));
    for (std::uint8_t b : link->ReceiveBuffer)
        QCOMPARE(int(b), 0xA5);
    QVERIFY(!link->lost());
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
    QVERIFY(open());
    Bytes line(static_cast<std::size_t>(waiting));
    for (std::size_t i = 0; i < line.size(); ++i)
        line[i] = static_cast<std::uint8_t>(i % 251);
    QVERIFY(sim->send(line));
    QTRY_COMPARE(BytesWaiting(link->handle()), waiting);

    std::memset(link->ReceiveBuffer, 0xA5, sizeof link->ReceiveBuffer);
    QCOMPARE(link->ReadReply(std::size_t(maxCount)), std::size_t(firstRead));
    QCOMPARE(received(*link, std::size_t(firstRead)), Bytes(line.begin(), line.begin() + firstRead));
    if (firstRead < int(hmx::ReceiveBufferSize))
        QCOMPARE(int(link->ReceiveBuffer[firstRead]), 0xA5);
    QCOMPARE(BytesWaiting(link->handle()), waiting - firstRead);

    // The rest comes out at the front of the next read; the bytes after it stay as they were.
    const Bytes before = received(*link, hmx::ReceiveBufferSize);
    QCOMPARE(link->ReadReply(std::size_t(maxCount)), std::size_t(secondRead));
    QCOMPARE(received(*link, std::size_t(secondRead)), Bytes(line.begin() + firstRead, line.begin() + firstRead + secondRead));
    QCOMPARE(Bytes(link->ReceiveBuffer + secondRead, link->ReceiveBuffer + hmx::ReceiveBufferSize),
             Bytes(before.begin() + secondRead, before.end()));
}

void SerialLinkTest::replySplitAcrossRead()
{
    QVERIFY(open());
    QVERIFY(sim->send(toBytes("HMX")));
    QTRY_COMPARE(BytesWaiting(link->handle()), 3);
    QCOMPARE(link->ReadReply(512), std::size_t(3));
    QVERIFY(!hmx::ReplyTextIs(link->ReceiveBuffer, hmx::ReceiveBufferSize, hmx::ModelName));
    QVERIFY(hmx::ReplyText(link->ReceiveBuffer, hmx::ReceiveBufferSize) == "HMX");

    QVERIFY(sim->send(toBytes("-700")));
    QTRY_COMPARE(BytesWaiting(link->handle()), 4);
    QCOMPARE(link->ReadReply(512), std::size_t(4));
    QVERIFY(hmx::ReplyText(link->ReceiveBuffer, hmx::ReceiveBufferSize) == "-700");
}

void SerialLinkTest::simulatorSplitReply()
{
    QVERIFY(sim->ok("split 3 1500"));
    QVERIFY(open());
    QCOMPARE(hmx::QueryExchange(*link, hmx::IdentifyCommand, hmx::IdentifyWait, hmx::ClearAfterSend::Yes, waitFor(*link, 3)),
             hmx::ExchangeResult::Reply);
    QVERIFY(hmx::ReplyText(link->ReceiveBuffer, hmx::ReceiveBufferSize) == "HMX");
    QVERIFY(!hmx::ReplyTextIs(link->ReceiveBuffer, hmx::ReceiveBufferSize, hmx::ModelName));
    QTRY_COMPARE_WITH_TIMEOUT(BytesWaiting(link->handle()), 4, 10000);
    QCOMPARE(link->ReadReply(512), std::size_t(4));
    QVERIFY(hmx::ReplyText(link->ReceiveBuffer, hmx::ReceiveBufferSize) == "-700");
}

void SerialLinkTest::watchedReplyWhole_data()
{
    QTest::addColumn<int>("splitBytes");
    QTest::addColumn<int>("gapMs");
    QTest::addColumn<int>("stallMs");  // the watching thread is not scheduled that long at first
    QTest::addColumn<bool>("whole");
    QTest::newRow("whole, watched") << 0 << 0 << 0 << true;
    QTest::newRow("two pieces 60 ms apart") << 2 << 60 << 0 << false;
    QTest::newRow("two pieces, both came while the watcher stalled") << 2 << 60 << 250 << false;
    QTest::newRow("whole, but came while the watcher stalled") << 0 << 0 << 250 << false;
}

void SerialLinkTest::watchedReplyWhole()
{
    QFETCH(int, splitBytes);
    QFETCH(int, gapMs);
    QFETCH(int, stallMs);
    QFETCH(bool, whole);
    QVERIFY(sim->ok(QByteArray("split ") + QByteArray::number(splitBytes) + ' ' + QByteArray::number(gapMs)));
    QVERIFY(open());
    bool stalled = false;
    const hmx::SleepFunction sleep = [&](std::chrono::milliseconds step) {
        std::this_thread::sleep_for(stalled ? step : std::chrono::milliseconds(stallMs));
        stalled = true;
        return true;
    };
    const hmx::WatchedReply reply = hmx::WatchedExchange(*link, hmx::MeasureCommand, hmx::MeasureWait, sleep);
    QCOMPARE(reply.count, hmx::MeasurementSize);
    QCOMPARE(hmx::IsWholeMeasurement(reply), whole);
}

void SerialLinkTest::lateReplyDiscardedBeforeNextCommand()
{
    QVERIFY(sim->ok("measure 600 -100 235"));
    QVERIFY(sim->ok("delay 1000"));
    QVERIFY(open());
    QCOMPARE(hmx::QueryExchange(*link, hmx::MeasureCommand, std::chrono::milliseconds(50)), hmx::ExchangeResult::NoReply);
    QTRY_COMPARE_WITH_TIMEOUT(BytesWaiting(link->handle()), 6, 10000);
    // The late reply must not become the front of the next one.
    QVERIFY(sim->ok("delay 0"));
    QVERIFY(sim->ok("measure 450 -105 235"));
    QCOMPARE(hmx::QueryExchange(*link, hmx::MeasureCommand, hmx::MeasureWait, hmx::ClearAfterSend::No, waitFor(*link, 6)),
             hmx::ExchangeResult::Reply);
    QCOMPARE(BytesWaiting(link->handle()), 0);
    QCOMPARE(received(*link, 6), (Bytes {1, 194, 255, 151, 0, 235}));
}

void SerialLinkTest::lateReplyComesFirstInNextRead()
{
    QVERIFY(sim->ok("measure 600 -100 235"));
    QVERIFY(sim->ok("delay 2000"));
    QVERIFY(open());
    QCOMPARE(hmx::QueryExchange(*link, hmx::MeasureCommand, std::chrono::milliseconds(50)), hmx::ExchangeResult::NoReply);
    QTRY_COMPARE_WITH_TIMEOUT(BytesWaiting(link->handle()), 6, 10000);
    QCOMPARE(link->ReadReply(512), std::size_t(6));
    QCOMPARE(received(*link, 6), (Bytes {2, 88, 255, 156, 0, 235}));
}

void SerialLinkTest::leftoverInputDiscarded()
{
    QVERIFY(open());
    QVERIFY(sim->ok("noise 20"));
    QTRY_COMPARE(BytesWaiting(link->handle()), 20);
    // The next command starts on a clean line: its reply is all the read gets.
    QCOMPARE(hmx::QueryExchange(*link, hmx::IdentifyCommand, hmx::IdentifyWait, hmx::ClearAfterSend::Yes, waitFor(*link, 7)),
             hmx::ExchangeResult::Reply);
    QVERIFY2(hmx::ReplyTextIs(link->ReceiveBuffer, hmx::ReceiveBufferSize, hmx::ModelName),
             std::string(hmx::ReplyText(link->ReceiveBuffer, hmx::ReceiveBufferSize)).c_str());
}

void SerialLinkTest::putQuery_data()
{
    QTest::addColumn<QString>("frame");
    QTest::newRow("identify") << QString::fromLatin1(hmx::IdentifyCommand.data(), hmx::IdentifyCommand.size());
    QTest::newRow("version") << QString::fromLatin1(hmx::VersionCommand.data(), hmx::VersionCommand.size());
    QTest::newRow("settings read") << QString::fromLatin1(hmx::SettingsReadCommand.data(), hmx::SettingsReadCommand.size());
    QTest::newRow("measure") << QString::fromLatin1(hmx::MeasureCommand.data(), hmx::MeasureCommand.size());
}

void SerialLinkTest::putQuery()
{
    QFETCH(QString, frame);
    const QByteArray text = frame.toLatin1();
    QCOMPARE(text.size(), 7);
    QVERIFY(open());
    std::memset(link->TransmitBuffer, 0xEE, sizeof link->TransmitBuffer);
    hmx::PutQuery(*link, std::string_view(text.constData(), text.size()));
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(link->TransmitBuffer), 7), text);
    QCOMPARE(int(link->TransmitBuffer[7]), 0);
    // The rest of the buffer is left as it was.
    for (std::size_t i = 8; i < sizeof link->TransmitBuffer; ++i)
        QCOMPARE(int(link->TransmitBuffer[i]), 0xEE);
}

void SerialLinkTest::queryFrameSentExactly_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("replyLength");
    QTest::newRow("identify") << QByteArray("01i?end") << 7;
    QTest::newRow("version") << QByteArray("01v?end") << 9;
    QTest::newRow("settings read") << QByteArray("01s?end") << 36;
    QTest::newRow("measure") << QByteArray("01t?end") << 6;
}

void SerialLinkTest::queryFrameSentExactly()
{
    QFETCH(QByteArray, frame);
    QFETCH(int, replyLength);
    QVERIFY(open());
    const Bytes expected(frame.begin(), frame.end());
    for (int round = 1; round <= 2; ++round) {
        // Bytes after the terminating zero must never go out.
        std::memset(link->TransmitBuffer, 0xFF, sizeof link->TransmitBuffer);
        hmx::PutQuery(*link, std::string_view(frame.constData(), std::size_t(frame.size())));
        QVERIFY(link->SendCommand());
        QTRY_COMPARE(sim->frames().size(), qsizetype(round));
        QCOMPARE(sim->frames().back(), expected);
        QTRY_COMPARE(BytesWaiting(link->handle()), replyLength);
        QCOMPARE(link->ReadReply(512), std::size_t(replyLength));
    }
    // A zero sent after the first frame would sit between the two.
    QCOMPARE(sim->receivedBytes().size(), std::size_t(14));
    QCOMPARE(sim->strayBytes(), 0);
}

void SerialLinkTest::settingsFrameSentWhole_data()
{
    // Records whose zero bytes must all go out. No record: the instrument's own, as it starts.
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<QList<int>>("zeroAt");
    QTest::newRow("all values zero") << QByteArray(36, '\0') << QList<int>();
    QTest::newRow("zeros inside and at the end") << QByteArray() << QList<int> {6, 7, 34, 35};
    QTest::newRow("default record") << QByteArray() << QList<int>();
    QByteArray mixed(36, '\0');
    for (int i = 0; i < mixed.size(); ++i)
        mixed[i] = char(i % 3 == 0 ? 0 : 200 + i);
    QTest::newRow("a zero every third byte") << mixed << QList<int>();
    QTest::newRow("no zero at all") << QByteArray(36, '\xFF') << QList<int>();
}

void SerialLinkTest::settingsFrameSentWhole()
{
    QFETCH(QByteArray, record);
    QFETCH(QList<int>, zeroAt);
    Bytes values = record.isEmpty() ? sim->settingsRecord() : Bytes(record.begin(), record.end());
    QCOMPARE(values.size(), std::size_t(36));
    for (int offset : zeroAt)
        values[std::size_t(offset)] = 0;
    QVERIFY(sim->ok("drop-ok on"));
    QVERIFY(open());
    const Bytes frame = settingsFrame(values);
    QCOMPARE(frame.size(), hmx::SettingsFrameSize);
    putFrame(*link, frame);
    QVERIFY(link->SendSettingsFrame());
    QTRY_COMPARE(sim->frames().size(), qsizetype(1));
    QCOMPARE(sim->frames().front(), frame);
    QCOMPARE(sim->receivedBytes(), frame);
    QCOMPARE(sim->strayBytes(), 0);
}

void SerialLinkTest::strayBytesCounted()
{
    QVERIFY(open());
    const char text[] = "xx001i?end";
    std::memcpy(link->TransmitBuffer, text, sizeof text);
    QVERIFY(link->SendCommand());
    QTRY_COMPARE(sim->frames().size(), qsizetype(1));
    QCOMPARE(sim->frames().front(), toBytes("01i?end"));
    QCOMPARE(sim->strayBytes(), 3);
    QCOMPARE(sim->receivedBytes(), toBytes("xx001i?end"));
    QVERIFY(sim->ok("clear"));
    QCOMPARE(sim->receivedBytes().size(), std::size_t(0));
    QCOMPARE(sim->strayBytes(), 0);
}

void SerialLinkTest::identification_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QByteArray>("extra");  // bytes after the model name
    QTest::addColumn<bool>("accepted");
    QTest::newRow("exact model name") << "HMX-700" << QByteArray() << true;
    QTest::newRow("followed by CR") << "HMX-700" << QByteArray("\r") << false;
    QTest::newRow("followed by LF") << "HMX-700" << QByteArray("\n") << false;
    QTest::newRow("followed by end") << "HMX-700" << QByteArray("end") << false;
    QTest::newRow("followed by a space") << "HMX-700" << QByteArray(" ") << false;
    QTest::newRow("lower case") << "hmx-700" << QByteArray() << false;
    QTest::newRow("last character missing") << "HMX-70" << QByteArray() << false;
    QTest::newRow("another model") << "HMX-701" << QByteArray() << false;
}

void SerialLinkTest::identification()
{
    QFETCH(QString, model);
    QFETCH(QByteArray, extra);
    QFETCH(bool, accepted);
    if (!TestInstrument::commandsTakeLineBreaks() && (extra.contains('\r') || extra.contains('\n')))
        QSKIP("the simulator's commands are lines: they cannot carry a CR or LF to append");
    QVERIFY(sim->ok("model " + model.toLatin1()));
    QVERIFY(sim->ok("extra " + extra));
    QVERIFY(open());
    // Leftovers of an earlier exchange must not count: the identify exchange clears first.
    std::memset(link->ReceiveBuffer, 'Z', sizeof link->ReceiveBuffer);
    const int length = int(model.size() + extra.size());
    QCOMPARE(hmx::QueryExchange(*link, hmx::IdentifyCommand, hmx::IdentifyWait, hmx::ClearAfterSend::Yes, waitFor(*link, length)),
             hmx::ExchangeResult::Reply);
    QCOMPARE(hmx::ReplyTextIs(link->ReceiveBuffer, hmx::ReceiveBufferSize, hmx::ModelName), accepted);
    QCOMPARE(int(hmx::ReplyText(link->ReceiveBuffer, hmx::ReceiveBufferSize).size()), length);
}

void SerialLinkTest::versionReply()
{
    QVERIFY(sim->ok("version 1 2 12345"));
    QVERIFY(open());
    QCOMPARE(hmx::QueryExchange(*link, hmx::VersionCommand, hmx::VersionWait, hmx::ClearAfterSend::No, waitFor(*link, 9)),
             hmx::ExchangeResult::Reply);
    QCOMPARE(received(*link, 9).size(), std::size_t(9));
    QCOMPARE(Bytes(link->ReceiveBuffer + 5, link->ReceiveBuffer + 9), (Bytes {1, 2, 48, 57}));
    const hmx::VersionInfo info = hmx::DecodeVersion(link->ReceiveBuffer);
    QCOMPARE(int(info.version), 1);
    QCOMPARE(int(info.revision), 2);
    QCOMPARE(int(info.serialNumber), 12345);
}

void SerialLinkTest::measurementReply()
{
    QVERIFY(sim->ok("measure 600 -100 235"));
    QVERIFY(open());
    QCOMPARE(hmx::QueryExchange(*link, hmx::MeasureCommand, std::chrono::milliseconds(50), hmx::ClearAfterSend::No, waitFor(*link, 6)),
             hmx::ExchangeResult::Reply);
    QCOMPARE(received(*link, 6), (Bytes {2, 88, 255, 156, 0, 235}));
    const hmx::Measurement m = hmx::DecodeMeasurement(link->ReceiveBuffer);
    QCOMPARE(int(m.humidity), 600);
    QCOMPARE(int(m.dewPoint), -100);
    QCOMPARE(int(m.ambient), 235);
}

void SerialLinkTest::varyingMeasurement()
{
    QVERIFY(open());
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(hmx::QueryExchange(*link, hmx::MeasureCommand, std::chrono::milliseconds(20), hmx::ClearAfterSend::No,
                                    waitFor(*link, 6)),
                 hmx::ExchangeResult::Reply);
        const hmx::Measurement m = hmx::DecodeMeasurement(link->ReceiveBuffer);
        QVERIFY2(m.humidity >= 400 && m.humidity <= 500, qPrintable(QString::number(m.humidity)));
        QVERIFY2(m.dewPoint >= 80 && m.dewPoint <= 120, qPrintable(QString::number(m.dewPoint)));
        QVERIFY2(m.ambient >= 210 && m.ambient <= 230, qPrintable(QString::number(m.ambient)));
    }
}

void SerialLinkTest::silentInstrument()
{
    QVERIFY(sim->ok("silent on"));
    QVERIFY(open());
    QCOMPARE(hmx::QueryExchange(*link, hmx::IdentifyCommand, hmx::IdentifyWait, hmx::ClearAfterSend::Yes),
             hmx::ExchangeResult::NoReply);
    // It heard the frame all the same.
    QTRY_COMPARE(sim->frames().size(), qsizetype(1));
    QVERIFY(sim->ok("silent off"));
    QCOMPARE(hmx::QueryExchange(*link, hmx::IdentifyCommand, hmx::IdentifyWait, hmx::ClearAfterSend::Yes, waitFor(*link, 7)),
             hmx::ExchangeResult::Reply);
    QVERIFY(hmx::ReplyTextIs(link->ReceiveBuffer, hmx::ReceiveBufferSize, hmx::ModelName));
}

void SerialLinkTest::interruptedWaitReadsNothing()
{
    QVERIFY(open());
    std::memset(link->ReceiveBuffer, 0xA5, sizeof link->ReceiveBuffer);
    const auto stopRequested = [port = link->handle()](std::chrono::milliseconds) {
        // The reply is there, but a stop request must leave it unread.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (BytesWaiting(port) < 6 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return false;
    };
    QCOMPARE(hmx::QueryExchange(*link, hmx::MeasureCommand, hmx::MeasureWait, hmx::ClearAfterSend::No, stopRequested),
             hmx::ExchangeResult::Interrupted);
    QCOMPARE(BytesWaiting(link->handle()), 6);
    QCOMPARE(int(link->ReceiveBuffer[0]), 0xA5);
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
    QVERIFY(sim->ok(dropAcknowledgement ? "drop-ok on" : "drop-ok off"));
    const Bytes old = sim->settingsRecord();
    QCOMPARE(old.size(), std::size_t(36));
    QVERIFY(open());

    Bytes wanted(36);
    for (std::size_t i = 0; i < wanted.size(); ++i)
        wanted[i] = static_cast<std::uint8_t>(100 + i);
    wanted[0] = 2;  // g/m3
    wanted[1] = 7;  // t-tdp
    wanted[9] = 0;  // a zero byte inside the frame
    putFrame(*link, settingsFrame(wanted));
    QVERIFY(link->SendSettingsFrame());
    QTRY_COMPARE(sim->frames().size(), qsizetype(1));

    std::this_thread::sleep_for(hmx::SettingsWriteWait);
    if (dropAcknowledgement) {
        QCOMPARE(link->ReadReply(512), std::size_t(0));
    } else {
        QTRY_COMPARE(BytesWaiting(link->handle()), 2);
        QCOMPARE(link->ReadReply(512), std::size_t(2));
        QVERIFY(hmx::ReplyTextIs(link->ReceiveBuffer, hmx::ReceiveBufferSize, hmx::WriteAcknowledgement));
    }

    // Offsets the client writes with its own content keep the instrument's values.
    Bytes expected = wanted;
    for (std::size_t offset : {4, 5, 14, 17, 20, 21, 30, 33})
        expected[offset] = old[offset];
    QCOMPARE(sim->settingsRecord(), expected);

    // A settings read now returns the record as applied.
    link->ClearBuffers();
    QCOMPARE(hmx::QueryExchange(*link, hmx::SettingsReadCommand, std::chrono::milliseconds(20), hmx::ClearAfterSend::No,
                                waitFor(*link, 36)),
             hmx::ExchangeResult::Reply);
    QCOMPARE(received(*link, 36), expected);
}

#ifndef _WIN32
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
    hmx::sim::Simulator other;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // Opened through a link of our own, as through /dev/serial/by-id.
    const QString byId = dir.filePath("by-id");
    QVERIFY(QFile::link(QString::fromStdString(sim->simulator().devicePath()), byId));
    QVERIFY(openOn(byId.toStdString()));
    QVERIFY(!link->lost());
    if (what == "silent")
        QVERIFY(sim->ok("silent on"));
    else if (what == "unplug")
        QVERIFY(sim->ok("unplug"));
    else if (what == "remove link")
        QVERIFY(QFile::remove(byId));
    else if (what == "repoint link")
        QVERIFY(QFile::remove(byId) && QFile::link(QString::fromStdString(other.devicePath()), byId));

    for (int round = 0; round < 2; ++round)
        hmx::QueryExchange(*link, hmx::MeasureCommand, std::chrono::milliseconds(100));
    QCOMPARE(link->lost(), lost);
    if (lost) {
        hmx::PutQuery(*link, hmx::MeasureCommand);
        QVERIFY(!link->SendCommand());
        // The link stays lost; a new one starts afresh.
        QVERIFY(link->lost());
        link.reset();
        // Another program's search for its own lost instrument may hold the new
        // terminal for a moment, as it would a real adapter's new node.
        const bool opened
            = QTest::qWaitFor([&] { return (link = hmx::SerialLink::Open(other.devicePath()).link) != nullptr; }, 10000);
        QVERIFY(opened);
        QVERIFY(!link->lost());
    }
}
#endif

void SerialLinkTest::lostPortMidRun()
{
    QVERIFY(open());
    QCOMPARE(hmx::QueryExchange(*link, hmx::MeasureCommand, std::chrono::milliseconds(50), hmx::ClearAfterSend::No, waitFor(*link, 6)),
             hmx::ExchangeResult::Reply);
    QVERIFY(sim->ok("unplug"));

    // Measuring goes on as the Poller does it: the exchanges fail at once or find nothing,
    // and they neither hang nor keep a core busy. Only a hang or a spin is caught; the
    // bounds are generous.
    QElapsedTimer wall;
    wall.start();
    const long long cpuBefore = ThreadCpuMs();
    int failed = 0;
    for (int cycle = 0; cycle < 6; ++cycle) {
        std::memset(link->ReceiveBuffer, 0xA5, sizeof link->ReceiveBuffer);
        const hmx::ExchangeResult result = hmx::QueryExchange(*link, hmx::MeasureCommand, hmx::MeasureWait);
        QVERIFY(result != hmx::ExchangeResult::Reply);
        QCOMPARE(int(link->ReceiveBuffer[0]), 0xA5);
        failed += result == hmx::ExchangeResult::SendFailed ? 1 : 0;
    }
    const long long cpu = ThreadCpuMs() - cpuBefore;
    QVERIFY(cpuBefore >= 0);
    QVERIFY2(wall.elapsed() < 20000, qPrintable(QString::number(wall.elapsed())));
    QVERIFY2(cpu < wall.elapsed() / 4, qPrintable(QString("%1 ms CPU in %2 ms").arg(cpu).arg(wall.elapsed())));
    QVERIFY(link->lost());
    QVERIFY2(failed >= 5, qPrintable(QString::number(failed)));
    hmx::PutQuery(*link, hmx::MeasureCommand);
    QVERIFY(!link->SendCommand());

    // Plugged in again, the same port opens and answers.
    QVERIFY(sim->ok("replug"));
    link.reset();
    QVERIFY(open());
    QVERIFY(!link->lost());
    QCOMPARE(hmx::QueryExchange(*link, hmx::IdentifyCommand, hmx::IdentifyWait, hmx::ClearAfterSend::Yes, waitFor(*link, 7)),
             hmx::ExchangeResult::Reply);
    QVERIFY(hmx::ReplyTextIs(link->ReceiveBuffer, hmx::ReceiveBufferSize, hmx::ModelName));
}

void SerialLinkTest::sendFailsOnVanishedPort()
{
    const Bytes record = sim->settingsRecord();
    QCOMPARE(record.size(), std::size_t(36));
    QVERIFY(open());
    QVERIFY(sim->ok("unplug"));
    QElapsedTimer timer;
    timer.start();
    hmx::PutQuery(*link, hmx::MeasureCommand);
    QVERIFY(!link->SendCommand());
    putFrame(*link, settingsFrame(record));
    QVERIFY(!link->SendSettingsFrame());
    QCOMPARE(hmx::QueryExchange(*link, hmx::MeasureCommand, std::chrono::milliseconds(10)), hmx::ExchangeResult::SendFailed);
    // Only a hang is caught here; the bound is generous.
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
    std::memset(link->ReceiveBuffer, 0xA5, sizeof link->ReceiveBuffer);
    QCOMPARE(link->ReadReply(512), std::size_t(0));
    QCOMPARE(int(link->ReceiveBuffer[0]), 0xA5);
}

void SerialLinkTest::sendFailsOnStalledPort()
{
    // The instrument stops reading: fill the line until it takes nothing more. Then the
    // frame cannot go out, and the send gives up instead of waiting for ever.
    QVERIFY(open());
    QVERIFY(sim->ok("stall on"));
    QVERIFY(FillLine(link->handle()) > 0);

    QElapsedTimer timer;
    timer.start();
    hmx::PutQuery(*link, hmx::MeasureCommand);
    QVERIFY(!link->SendCommand());
    // Only a hang is caught here; the bound is generous.
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(!link->lost());

    // Once the far side reads again, the link works again.
    QVERIFY(sim->ok("stall off"));
    QTRY_VERIFY_WITH_TIMEOUT(hmx::QueryExchange(*link, hmx::IdentifyCommand, hmx::IdentifyWait, hmx::ClearAfterSend::Yes,
                                                waitFor(*link, 7)) == hmx::ExchangeResult::Reply
                                 && hmx::ReplyTextIs(link->ReceiveBuffer, hmx::ReceiveBufferSize, hmx::ModelName),
                             10000);
}

void SerialLinkTest::sendFailsWhenStopped()
{
    // The owner's stop request: nothing goes out while it is raised, and the link works
    // again once it is lowered.
    QVERIFY(open());
    std::atomic<bool> stop {true};
    link->setStopRequest(&stop);
    hmx::PutQuery(*link, hmx::IdentifyCommand);
    QVERIFY(!link->SendCommand());
    QVERIFY(!link->SendSettingsFrame());
    QCOMPARE(hmx::QueryExchange(*link, hmx::IdentifyCommand, std::chrono::milliseconds(1)), hmx::ExchangeResult::SendFailed);
    QVERIFY(!link->lost());
    stop = false;
    QCOMPARE(hmx::QueryExchange(*link, hmx::IdentifyCommand, hmx::IdentifyWait, hmx::ClearAfterSend::Yes, waitFor(*link, 7)),
             hmx::ExchangeResult::Reply);
    QCOMPARE(sim->frames().size(), qsizetype(1));
}

QTEST_GUILESS_MAIN(SerialLinkTest)
#include "tst_seriallink.moc"
