// The serial-link test's instrument on Windows: the native hmx700-sim that the test fixture
// (wine-simulator.sh) started with a command port, reset for every case. The fixture maps
// COM<HMX700_TEST_COM> of this test's Wine prefix to the simulator's stable link.
#include "testinstrument.h"

#include <QFile>

#include <winsock2.h>
#include <windows.h>

namespace {

constexpr int TestPort = HMX700_TEST_COM;

HANDLE handleOf(hmx::PortHandle port)
{
    return reinterpret_cast<HANDLE>(port);
}

} // namespace

struct TestInstrument::Impl {
    bool winsock = false;
    SOCKET socket = INVALID_SOCKET;
    QByteArray pending;  // received, after the last answer taken
    const char* failure = "no simulator: run this test through ctest, whose fixture starts it";
};

TestInstrument::TestInstrument()
    : d(std::make_unique<Impl>())
{
    QFile file(QStringLiteral(HMX700_SIM_CONTROL_FILE));
    if (!file.open(QIODevice::ReadOnly))
        return;
    const int port = file.readAll().trimmed().toInt();
    WSADATA data;
    if (port <= 0 || WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return;
    d->winsock = true;
    d->socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<u_short>(port));
    if (d->socket != INVALID_SOCKET
        && ::connect(d->socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::closesocket(d->socket);
        d->socket = INVALID_SOCKET;
    }
    // The same simulator serves every case.
    if (d->socket != INVALID_SOCKET && !ok("reset")) {
        d->failure = "the simulator did not reset";
        ::closesocket(d->socket);
        d->socket = INVALID_SOCKET;
    }
}

TestInstrument::~TestInstrument()
{
    if (d->socket != INVALID_SOCKET)
        ::closesocket(d->socket);
    if (d->winsock)
        WSACleanup();
}

bool TestInstrument::ready() const
{
    return d->socket != INVALID_SOCKET;
}

const char* TestInstrument::failure() const
{
    return d->failure;
}

hmx::SerialLink::Opened TestInstrument::openPort()
{
    return hmx::SerialLink::OpenNumber(TestPort);
}

QByteArray TestInstrument::command(const QByteArray& line)
{
    const QByteArray out = line + '\n';
    if (d->socket == INVALID_SOCKET || ::send(d->socket, out.constData(), int(out.size()), 0) != int(out.size()))
        return {};
    while (!d->pending.contains('\n')) {
        char buffer[4096];
        const int n = ::recv(d->socket, buffer, sizeof buffer, 0);
        if (n <= 0)
            return {};
        d->pending.append(buffer, n);
    }
    const qsizetype end = d->pending.indexOf('\n');
    const QByteArray answer = d->pending.left(end);
    d->pending.remove(0, end + 1);
    return answer;
}

bool TestInstrument::commandsTakeLineBreaks()
{
    return false;
}

int BytesWaiting(hmx::PortHandle port)
{
    DWORD errors = 0;
    COMSTAT status {};
    if (!ClearCommError(handleOf(port), &errors, &status))
        return -1;
    return int(status.cbInQue);
}

long long FillLine(hmx::PortHandle port)
{
    // A write is cut short by the port's write time-out once the line is full. The terminal
    // moves bytes to the far side's buffer in the background, so room can reappear shortly
    // after a short write; full means nothing taken three times running.
    const std::vector<char> junk(4096, 'x');
    long long total = 0;
    DWORD chunk = DWORD(junk.size());
    for (int settled = 0; settled < 3 && total < 64LL * 1024 * 1024;) {
        DWORD written = 0;
        WriteFile(handleOf(port), junk.data(), chunk, &written, nullptr);
        total += written;
        if (written < chunk)
            chunk = 64;  // nearly full: small writes time out sooner
        settled = written == 0 ? settled + 1 : 0;
    }
    return total;
}

long long ThreadCpuMs()
{
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user))
        return -1;
    auto ms = [](const FILETIME& t) { return ((qint64(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000; };
    return ms(kernel) + ms(user);
}
