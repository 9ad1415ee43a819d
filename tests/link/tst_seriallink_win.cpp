// The Win32 serial link through the real COM port names, run under Wine against the native
// simulator. The test fixture (wine-simulator.sh) starts hmx700-sim with a command port and
// maps COM<HMX700_TEST_COM> of this test's Wine prefix to the simulator's stable link; the
// cases command the simulator and read its journal of received frames through that port.
// The groups follow tst_seriallink.cpp, the same link's tests on POSIX.
#include "link/protocol.h"
#include "link/seriallink.h"
#include "linkcases.h"

#include <QtTest>

#include <chrono>
#include <cstring>
#include <thread>

#include <winsock2.h>
#include <windows.h>

using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr int TestPort = HMX700_TEST_COM;
// A port number that nothing is mapped to.
constexpr int NoSuchPort = 200;

HANDLE handleOf(hmx::PortHandle port)
{
    return reinterpret_cast<HANDLE>(port);
}

// Wine says who it is through an export of its ntdll.
bool RunningOnWine()
{
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

// The simulator the fixture started, commanded line by line over its TCP port.
class RemoteSimulator {
public:
    RemoteSimulator()
    {
        QFile file(QStringLiteral(HMX700_SIM_CONTROL_FILE));
        if (!file.open(QIODevice::ReadOnly))
            return;
        const int port = file.readAll().trimmed().toInt();
        WSADATA data;
        if (port <= 0 || WSAStartup(MAKEWORD(2, 2), &data) != 0)
            return;
        m_socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<u_short>(port));
        if (m_socket != INVALID_SOCKET
            && ::connect(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::closesocket(m_socket);
            m_socket = INVALID_SOCKET;
        }
    }
    ~RemoteSimulator()
    {
        if (m_socket != INVALID_SOCKET)
            ::closesocket(m_socket);
        WSACleanup();
    }
    RemoteSimulator(const RemoteSimulator&) = delete;
    RemoteSimulator& operator=(const RemoteSimulator&) = delete;

    bool valid() const { return m_socket != INVALID_SOCKET; }

    // The answer line to one command; empty when the simulator is unreachable.
    QByteArray command(const QByteArray& line)
    {
        const QByteArray out = line + '\n';
        if (!valid() || ::send(m_socket, out.constData(), int(out.size()), 0) != int(out.size()))
            return {};
        while (!m_pending.contains('\n')) {
            char buffer[4096];
            const int n = ::recv(m_socket, buffer, sizeof buffer, 0);
            if (n <= 0)
                return {};
            m_pending.append(buffer, n);
        }
        const qsizetype end = m_pending.indexOf('\n');
        const QByteArray answer = m_pending.left(end);
        m_pending.remove(0, end + 1);
        return answer;
    }
    bool ok(const QByteArray& line) { return command(line) == "ok"; }

    // The instrument as it starts, with an empty journal.
    bool reset()
    {
        for (const char* line : {"replug", "stall off", "silent off", "delay 0", "split 0 0", "extra", "model HMX-700",
                                 "measure off", "drop-ok off", "clear"}) {
            if (!ok(line))
                return false;
        }
        return true;
    }

    // Every frame the simulator received so far, in order.
    QList<Bytes> frames()
    {
        QList<Bytes> result;
        for (const QByteArray& hex : command("frames").split(' ')) {
            if (hex.isEmpty())
                continue;
            const QByteArray raw = QByteArray::fromHex(hex);
            result.append(Bytes(raw.begin(), raw.end()));
        }
        return result;
    }
    int strayBytes() { return command("stray").toInt(); }

private:
    SOCKET m_socket = INVALID_SOCKET;
    QByteArray m_pending;
};

int bytesWaiting(hmx::PortHandle port)
{
    DWORD errors = 0;
    COMSTAT status {};
    if (!ClearCommError(handleOf(port), &errors, &status))
        return -1;
    return int(status.cbInQue);
}

// The exchange's own wait, then until the expected reply is complete.
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

Bytes received(std::size_t count)
{
    return Bytes(hmx::ReceiveBuffer, hmx::ReceiveBuffer + count);
}

void putFrame(const Bytes& frame)
{
    std::memset(hmx::TransmitBuffer, 0, sizeof hmx::TransmitBuffer);
    std::memcpy(hmx::TransmitBuffer, frame.data(), frame.size());
}

// CPU time this thread has used, in milliseconds.
qint64 ThreadCpuMs()
{
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user))
        return -1;
    auto ms = [](const FILETIME& t) { return ((qint64(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000; };
    return ms(kernel) + ms(user);
}

} // namespace

class SerialLinkWinTest : public QObject {
    Q_OBJECT

private:
    RemoteSimulator* sim = nullptr;
    bool openTestPort() { return hmx::OpenPort(TestPort) != hmx::InvalidPort; }

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void portName_data();
    void portName();
    void openRefused_data();
    void openRefused();
    void openConfiguresLine();
    void heldPortNotOpened();
    void reopenAfterClose();

    void readNothingWaiting();
    void readCapped_data();
    void readCapped();
    void simulatorSplitReply();
    void lateReplyComesFirstInNextRead();
    void leftoverInputDiscarded();

    void queryFrameSentExactly_data();
    void queryFrameSentExactly();
    void settingsFrameSentWhole_data();
    void settingsFrameSentWhole();

    void identification_data();
    void identification();
    void measurementReply();
    void silentInstrument();

    void writeApplied_data();
    void writeApplied();

    void lostPortMidRun();
    void sendFailsOnStalledPort();
    void sendFailsWithoutPort();
};

void SerialLinkWinTest::initTestCase()
{
    sim = new RemoteSimulator;
    QVERIFY2(sim->valid(), "no simulator: run this test through ctest, whose fixture starts it");
}

void SerialLinkWinTest::cleanupTestCase()
{
    delete sim;
}

void SerialLinkWinTest::init()
{
    QVERIFY(sim->reset());
    hmx::ClearBuffers();
}

void SerialLinkWinTest::cleanup()
{
    hmx::ClosePort(hmx::Port);
}

void SerialLinkWinTest::portName_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("name");
    QTest::newRow("one digit") << 1 << "\\\\.\\COM1";
    QTest::newRow("two digits") << 12 << "\\\\.\\COM12";
    QTest::newRow("highest") << 255 << "\\\\.\\COM255";
    QTest::newRow("port 0 of the scan") << 0 << "\\\\.\\COM0";
    QTest::newRow("negative") << -1 << "";
    QTest::newRow("above 255") << 256 << "";
}

void SerialLinkWinTest::portName()
{
    QFETCH(int, number);
    QFETCH(QString, name);
    QCOMPARE(QString::fromStdString(hmx::PortName(number)), name);
    if (!name.isEmpty())
        QCOMPARE(QString::fromStdString(hmx::PortNames().at(std::size_t(number))), name);
}

void SerialLinkWinTest::openRefused_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<int>("failure");
    QTest::newRow("port nobody has") << "missing" << int(hmx::OpenFailure::Absent);
    QTest::newRow("port beyond 255") << "beyond" << int(hmx::OpenFailure::Absent);
    QTest::newRow("regular file") << "file" << int(hmx::OpenFailure::NotSerial);
}

void SerialLinkWinTest::openRefused()
{
    QFETCH(QString, what);
    QFETCH(int, failure);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString file = QDir::toNativeSeparators(dir.filePath("not-a-port"));
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    hmx::Port = 12345;  // OpenPort must replace whatever was there
    hmx::PortHandle opened = hmx::InvalidPort;
    if (what == "missing")
        opened = hmx::OpenPort(NoSuchPort);
    else if (what == "beyond")
        opened = hmx::OpenPort(256);
    else
        opened = hmx::OpenPortByName(file.toStdString());
    QCOMPARE(opened, hmx::InvalidPort);
    QCOMPARE(hmx::Port, hmx::InvalidPort);
    QCOMPARE(int(hmx::LastOpenFailure()), failure);
    // Nothing of it stays open: the file can be removed at once.
    QVERIFY(QFile::remove(file));
}

void SerialLinkWinTest::openConfiguresLine()
{
    QVERIFY(openTestPort());
    QCOMPARE(int(hmx::LastOpenFailure()), int(hmx::OpenFailure::None));
    DCB dcb {};
    dcb.DCBlength = sizeof dcb;
    QVERIFY(GetCommState(handleOf(hmx::Port), &dcb));
    QCOMPARE(dcb.BaudRate, DWORD(19200));
    QCOMPARE(int(dcb.ByteSize), 8);
    QCOMPARE(int(dcb.Parity), NOPARITY);
    QCOMPARE(int(dcb.StopBits), ONESTOPBIT);
    QCOMPARE(int(dcb.fOutxCtsFlow), 0);
    QCOMPARE(int(dcb.fOutxDsrFlow), 0);
    if (!RunningOnWine()) {
        // Wine reports DTR and RTS from the modem lines, which a pseudo-terminal lacks, and
        // calls both enabled whatever SetCommState was given.
        QCOMPARE(int(dcb.fDtrControl), DTR_CONTROL_DISABLE);
        QCOMPARE(int(dcb.fRtsControl), RTS_CONTROL_DISABLE);
    }
    QCOMPARE(int(dcb.fOutX), 0);
    QCOMPARE(int(dcb.fInX), 0);
    DWORD mask = 0;
    QVERIFY(GetCommMask(handleOf(hmx::Port), &mask));
    QCOMPARE(mask, DWORD(EV_TXEMPTY));
    // No read may wait for more than is there, and no write for ever.
    COMMTIMEOUTS timeouts {};
    QVERIFY(GetCommTimeouts(handleOf(hmx::Port), &timeouts));
    QCOMPARE(timeouts.ReadIntervalTimeout, MAXDWORD);
    QCOMPARE(timeouts.ReadTotalTimeoutMultiplier, DWORD(0));
    QCOMPARE(timeouts.ReadTotalTimeoutConstant, DWORD(0));
    QVERIFY(timeouts.WriteTotalTimeoutConstant > 0);
}

void SerialLinkWinTest::heldPortNotOpened()
{
    QVERIFY(openTestPort());
    const hmx::PortHandle first = hmx::Port;
    const hmx::PortHandle second = hmx::OpenPort(TestPort);
    if (second != hmx::InvalidPort && RunningOnWine()) {
        // CreateFile on a communications resource asks for exclusive access, and Windows
        // refuses a second open with ERROR_ACCESS_DENIED; Wine does not enforce it.
        hmx::ClosePort(second);
        hmx::ClosePort(first);
        QSKIP("Wine opens a COM port twice");
    }
    QCOMPARE(second, hmx::InvalidPort);
    QCOMPARE(int(hmx::LastOpenFailure()), int(hmx::OpenFailure::Busy));
    // The first handle still works.
    hmx::Port = first;
    QCOMPARE(hmx::QueryExchange(hmx::IdentifyCommand, hmx::IdentifyWait, hmx::ClearAfterSend::Yes, waitFor(7)),
             hmx::ExchangeResult::Reply);
    QVERIFY(hmx::ReplyTextIs(hmx::ReceiveBuffer, hmx::ReceiveBufferSize, hmx::ModelName));
}

void SerialLinkWinTest::reopenAfterClose()
{
    for (int round = 0; round < 3; ++round) {
        QVERIFY2(openTestPort(), qPrintable(QString("round %1").arg(round)));
        QCOMPARE(hmx::QueryExchange(hmx::IdentifyCommand, hmx::IdentifyWait, hmx::ClearAfterSend::Yes, waitFor(7)),
                 hmx::ExchangeResult::Reply);
        QVERIFY(hmx::ReplyTextIs(hmx::ReceiveBuffer, hmx::ReceiveBufferSize, hmx::ModelName));
        hmx::ClosePort(hmx::Port);
        QCOMPARE(hmx::Port, hmx::InvalidPort);
    }
}

void SerialLinkWinTest::readNothingWaiting()
{
    QVERIFY(openTestPort());
    std::memset(hmx::ReceiveBuffer, 0xA5, sizeof hmx::ReceiveBuffer);
    QCOMPARE(hmx::ReadReply(hmx::Port, hmx::ReceiveBufferSize), std::size_t(0));
    QCOMPARE(hmx::ReadReply(hmx::InvalidPort, hmx::ReceiveBufferSize), std::size_t(0));
    for (std::uint8_t b : hmx::ReceiveBuffer)
        QCOMPARE(int(b), 0xA5);
    QVERIFY(!hmx::PortLost());
}

void SerialLinkWinTest::readCapped_data()
{
    QTest::addColumn<int>("waiting");
    QTest::addColumn<int>("maxCount");
    QTest::addColumn<int>("firstRead");
    QTest::addColumn<int>("secondRead");
    QTest::newRow("more than 512 waiting") << 600 << 512 << 512 << 88;
    QTest::newRow("maximum above the buffer size") << 700 << 100000 << 512 << 188;
    QTest::newRow("small maximum") << 10 << 4 << 4 << 4;
}

void SerialLinkWinTest::readCapped()
{
    QFETCH(int, waiting);
    QFETCH(int, maxCount);
    QFETCH(int, firstRead);
    QFETCH(int, secondRead);
    QVERIFY(openTestPort());
    QVERIFY(sim->ok("noise " + QByteArray::number(waiting)));
    QTRY_COMPARE(bytesWaiting(hmx::Port), waiting);

    std::memset(hmx::ReceiveBuffer, 0xA5, sizeof hmx::ReceiveBuffer);
    QCOMPARE(hmx::ReadReply(hmx::Port, std::size_t(maxCount)), std::size_t(firstRead));
    if (firstRead < int(hmx::ReceiveBufferSize))
        QCOMPARE(int(hmx::ReceiveBuffer[firstRead]), 0xA5);
    QCOMPARE(bytesWaiting(hmx::Port), waiting - firstRead);
    QCOMPARE(hmx::ReadReply(hmx::Port, std::size_t(maxCount)), std::size_t(secondRead));
}

void SerialLinkWinTest::simulatorSplitReply()
{
    QVERIFY(sim->ok("split 3 1500"));
    QVERIFY(openTestPort());
    QCOMPARE(hmx::QueryExchange(hmx::IdentifyCommand, hmx::IdentifyWait, hmx::ClearAfterSend::Yes, waitFor(3)),
             hmx::ExchangeResult::Reply);
    QVERIFY(hmx::ReplyText(hmx::ReceiveBuffer, hmx::ReceiveBufferSize) == "HMX");
    QVERIFY(!hmx::ReplyTextIs(hmx::ReceiveBuffer, hmx::ReceiveBufferSize, hmx::ModelName));
    QTRY_COMPARE_WITH_TIMEOUT(bytesWaiting(hmx::Port), 4, 10000);
    QCOMPARE(hmx::ReadReply(hmx::Port, 512), std::size_t(4));
    QVERIFY(hmx::ReplyText(hmx::ReceiveBuffer, hmx::ReceiveBufferSize) == "-700");
}

void SerialLinkWinTest::lateReplyComesFirstInNextRead()
{
    QVERIFY(sim->ok("measure 600 -100 235"));
    QVERIFY(sim->ok("delay 2000"));
    QVERIFY(openTestPort());
    QCOMPARE(hmx::QueryExchange(hmx::MeasureCommand, std::chrono::milliseconds(50)), hmx::ExchangeResult::NoReply);
    QTRY_COMPARE_WITH_TIMEOUT(bytesWaiting(hmx::Port), 6, 10000);
    QCOMPARE(hmx::ReadReply(hmx::Port, 512), std::size_t(6));
    QCOMPARE(received(6), (Bytes {2, 88, 255, 156, 0, 235}));
}

void SerialLinkWinTest::leftoverInputDiscarded()
{
    QVERIFY(openTestPort());
    QVERIFY(sim->ok("noise 20"));
    QTRY_COMPARE(bytesWaiting(hmx::Port), 20);
    // The next command starts on a clean line: its reply is all the read gets.
    QCOMPARE(hmx::QueryExchange(hmx::IdentifyCommand, hmx::IdentifyWait, hmx::ClearAfterSend::Yes, waitFor(7)),
             hmx::ExchangeResult::Reply);
    QVERIFY2(hmx::ReplyTextIs(hmx::ReceiveBuffer, hmx::ReceiveBufferSize, hmx::ModelName),
             std::string(hmx::ReplyText(hmx::ReceiveBuffer, hmx::ReceiveBufferSize)).c_str());
}

void SerialLinkWinTest::queryFrameSentExactly_data()
{
    linkcases::AddQueryFrameRows();
}

void SerialLinkWinTest::queryFrameSentExactly()
{
    QFETCH(QByteArray, frame);
    QFETCH(int, replyLength);
    QVERIFY(openTestPort());
    const Bytes expected(frame.begin(), frame.end());
    for (int round = 1; round <= 2; ++round) {
        // Bytes after the terminating zero must never go out.
        std::memset(hmx::TransmitBuffer, 0xFF, sizeof hmx::TransmitBuffer);
        hmx::PutQuery(std::string_view(frame.constData(), std::size_t(frame.size())));
        QVERIFY(hmx::SendCommand());
        QTRY_COMPARE(sim->frames().size(), qsizetype(round));
        QCOMPARE(sim->frames().back(), expected);
        QTRY_COMPARE(bytesWaiting(hmx::Port), replyLength);
        QCOMPARE(hmx::ReadReply(hmx::Port, 512), std::size_t(replyLength));
    }
    QCOMPARE(sim->strayBytes(), 0);
}

void SerialLinkWinTest::settingsFrameSentWhole_data()
{
    linkcases::AddSettingsRecordRows();
}

void SerialLinkWinTest::settingsFrameSentWhole()
{
    QFETCH(QByteArray, record);
    QVERIFY(sim->ok("drop-ok on"));
    QVERIFY(openTestPort());
    const Bytes frame = linkcases::SettingsFrame(record);
    QCOMPARE(frame.size(), hmx::SettingsFrameSize);
    putFrame(frame);
    QVERIFY(hmx::SendSettingsFrame());
    QTRY_COMPARE(sim->frames().size(), qsizetype(1));
    QCOMPARE(sim->frames().front(), frame);
    QCOMPARE(sim->strayBytes(), 0);
}

void SerialLinkWinTest::identification_data()
{
    linkcases::AddIdentificationRows();
}

void SerialLinkWinTest::identification()
{
    QFETCH(QString, model);
    QFETCH(QByteArray, extra);
    QFETCH(bool, accepted);
    if (extra.contains('\r') || extra.contains('\n'))
        QSKIP("the simulator's commands are lines: they cannot carry a CR or LF to append");
    QVERIFY(sim->ok("model " + model.toLatin1()));
    QVERIFY(sim->ok("extra " + extra));
    QVERIFY(openTestPort());
    std::memset(hmx::ReceiveBuffer, 'Z', sizeof hmx::ReceiveBuffer);
    const int length = int(model.size() + extra.size());
    QCOMPARE(hmx::QueryExchange(hmx::IdentifyCommand, hmx::IdentifyWait, hmx::ClearAfterSend::Yes, waitFor(length)),
             hmx::ExchangeResult::Reply);
    QCOMPARE(hmx::ReplyTextIs(hmx::ReceiveBuffer, hmx::ReceiveBufferSize, hmx::ModelName), accepted);
    QCOMPARE(int(hmx::ReplyText(hmx::ReceiveBuffer, hmx::ReceiveBufferSize).size()), length);
}

void SerialLinkWinTest::measurementReply()
{
    QVERIFY(sim->ok("measure 600 -100 235"));
    QVERIFY(openTestPort());
    QCOMPARE(hmx::QueryExchange(hmx::MeasureCommand, std::chrono::milliseconds(50), hmx::ClearAfterSend::No, waitFor(6)),
             hmx::ExchangeResult::Reply);
    QCOMPARE(received(6), (Bytes {2, 88, 255, 156, 0, 235}));
    const hmx::Measurement m = hmx::DecodeMeasurement(hmx::ReceiveBuffer);
    QCOMPARE(int(m.humidity), 600);
    QCOMPARE(int(m.dewPoint), -100);
    QCOMPARE(int(m.ambient), 235);
}

void SerialLinkWinTest::silentInstrument()
{
    QVERIFY(sim->ok("silent on"));
    QVERIFY(openTestPort());
    QCOMPARE(hmx::QueryExchange(hmx::IdentifyCommand, hmx::IdentifyWait, hmx::ClearAfterSend::Yes),
             hmx::ExchangeResult::NoReply);
    // It heard the frame all the same.
    QTRY_COMPARE(sim->frames().size(), qsizetype(1));
    QVERIFY(sim->ok("silent off"));
    QCOMPARE(hmx::QueryExchange(hmx::IdentifyCommand, hmx::IdentifyWait, hmx::ClearAfterSend::Yes, waitFor(7)),
             hmx::ExchangeResult::Reply);
    QVERIFY(hmx::ReplyTextIs(hmx::ReceiveBuffer, hmx::ReceiveBufferSize, hmx::ModelName));
}

void SerialLinkWinTest::writeApplied_data()
{
    QTest::addColumn<bool>("dropAcknowledgement");
    QTest::newRow("acknowledged with OK") << false;
    QTest::newRow("acknowledgement dropped") << true;
}

void SerialLinkWinTest::writeApplied()
{
    QFETCH(bool, dropAcknowledgement);
    QVERIFY(sim->ok(dropAcknowledgement ? "drop-ok on" : "drop-ok off"));
    QVERIFY(openTestPort());
    QCOMPARE(hmx::QueryExchange(hmx::SettingsReadCommand, std::chrono::milliseconds(20), hmx::ClearAfterSend::No,
                                waitFor(36)),
             hmx::ExchangeResult::Reply);
    const Bytes old = received(36);

    QByteArray wanted(36, 0);
    for (int i = 0; i < wanted.size(); ++i)
        wanted[i] = char(100 + i);
    wanted[0] = 2;  // g/m3
    wanted[1] = 7;  // t-tdp
    wanted[9] = 0;  // a zero byte inside the frame
    putFrame(linkcases::SettingsFrame(wanted));
    QVERIFY(hmx::SendSettingsFrame());
    QTRY_COMPARE(sim->frames().size(), qsizetype(2));

    std::this_thread::sleep_for(hmx::SettingsWriteWait);
    hmx::ClearBuffers();
    if (dropAcknowledgement) {
        QCOMPARE(hmx::ReadReply(hmx::Port, 512), std::size_t(0));
    } else {
        QTRY_COMPARE(bytesWaiting(hmx::Port), 2);
        QCOMPARE(hmx::ReadReply(hmx::Port, 512), std::size_t(2));
        QVERIFY(hmx::ReplyTextIs(hmx::ReceiveBuffer, hmx::ReceiveBufferSize, hmx::WriteAcknowledgement));
    }

    // A settings read returns the record as applied: the offsets the client fills with its
    // own content keep the instrument's values.
    Bytes expected(wanted.begin(), wanted.end());
    for (std::size_t offset : {4, 5, 14, 17, 20, 21, 30, 33})
        expected[offset] = old[offset];
    hmx::ClearBuffers();
    QCOMPARE(hmx::QueryExchange(hmx::SettingsReadCommand, std::chrono::milliseconds(20), hmx::ClearAfterSend::No,
                                waitFor(36)),
             hmx::ExchangeResult::Reply);
    QCOMPARE(received(36), expected);
}

void SerialLinkWinTest::lostPortMidRun()
{
    QVERIFY(openTestPort());
    QCOMPARE(hmx::QueryExchange(hmx::MeasureCommand, std::chrono::milliseconds(50), hmx::ClearAfterSend::No, waitFor(6)),
             hmx::ExchangeResult::Reply);
    QVERIFY(sim->ok("unplug"));

    // Measuring goes on as the Poller does it: the exchanges fail at once or find nothing,
    // and they neither hang nor keep a core busy. Only a hang or a spin is caught; the
    // bounds are generous.
    QElapsedTimer wall;
    wall.start();
    const qint64 cpuBefore = ThreadCpuMs();
    int failed = 0;
    for (int cycle = 0; cycle < 6; ++cycle) {
        std::memset(hmx::ReceiveBuffer, 0xA5, sizeof hmx::ReceiveBuffer);
        const hmx::ExchangeResult result = hmx::QueryExchange(hmx::MeasureCommand, hmx::MeasureWait);
        QVERIFY(result != hmx::ExchangeResult::Reply);
        QCOMPARE(int(hmx::ReceiveBuffer[0]), 0xA5);
        failed += result == hmx::ExchangeResult::SendFailed ? 1 : 0;
    }
    const qint64 cpu = ThreadCpuMs() - cpuBefore;
    QVERIFY2(wall.elapsed() < 20000, qPrintable(QString::number(wall.elapsed())));
    QVERIFY2(cpu < wall.elapsed() / 4, qPrintable(QString("%1 ms CPU in %2 ms").arg(cpu).arg(wall.elapsed())));
    QVERIFY(hmx::PortLost());
    QVERIFY2(failed >= 5, qPrintable(QString::number(failed)));
    hmx::PutQuery(hmx::MeasureCommand);
    QVERIFY(!hmx::SendCommand());

    // Plugged in again, the same COM port opens and answers.
    QVERIFY(sim->ok("replug"));
    hmx::ClosePort(hmx::Port);
    QVERIFY(openTestPort());
    QVERIFY(!hmx::PortLost());
    QCOMPARE(hmx::QueryExchange(hmx::IdentifyCommand, hmx::IdentifyWait, hmx::ClearAfterSend::Yes, waitFor(7)),
             hmx::ExchangeResult::Reply);
    QVERIFY(hmx::ReplyTextIs(hmx::ReceiveBuffer, hmx::ReceiveBufferSize, hmx::ModelName));
}

void SerialLinkWinTest::sendFailsOnStalledPort()
{
    QVERIFY(openTestPort());
    QVERIFY(sim->ok("stall on"));
    // Nobody takes the bytes off the line: fill it until a write is cut short by the
    // port's write time-out. Then the frame cannot go out, and the send gives up instead
    // of waiting for ever (only a hang is caught; the bound is generous).
    // The terminal moves bytes to the far side's buffer in the background, so room can
    // reappear shortly after a short write; full means nothing taken three times running.
    const std::vector<char> junk(4096, 'x');
    std::size_t total = 0;
    DWORD chunk = DWORD(junk.size());
    for (int settled = 0; settled < 3 && total < 64u * 1024 * 1024;) {
        DWORD written = 0;
        WriteFile(handleOf(hmx::Port), junk.data(), chunk, &written, nullptr);
        total += written;
        if (written < chunk)
            chunk = 64;  // nearly full: small writes time out sooner
        settled = written == 0 ? settled + 1 : 0;
    }
    QVERIFY(total > 0);
    QElapsedTimer timer;
    timer.start();
    hmx::PutQuery(hmx::MeasureCommand);
    QVERIFY(!hmx::SendCommand());
    QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(!hmx::PortLost());

    // Once the far side reads again, the link works again.
    QVERIFY(sim->ok("stall off"));
    QTRY_VERIFY_WITH_TIMEOUT(hmx::QueryExchange(hmx::IdentifyCommand, hmx::IdentifyWait, hmx::ClearAfterSend::Yes,
                                                waitFor(7)) == hmx::ExchangeResult::Reply
                                 && hmx::ReplyTextIs(hmx::ReceiveBuffer, hmx::ReceiveBufferSize, hmx::ModelName),
                             10000);
}

void SerialLinkWinTest::sendFailsWithoutPort()
{
    hmx::Port = hmx::InvalidPort;
    hmx::PutQuery(hmx::IdentifyCommand);
    QVERIFY(!hmx::SendCommand());
    QVERIFY(!hmx::SendSettingsFrame());
    QVERIFY(!hmx::TransmitBytes(hmx::InvalidPort, 7));
    QCOMPARE(hmx::QueryExchange(hmx::IdentifyCommand, std::chrono::milliseconds(1)), hmx::ExchangeResult::SendFailed);
}

QTEST_GUILESS_MAIN(SerialLinkWinTest)
#include "tst_seriallink_win.moc"
