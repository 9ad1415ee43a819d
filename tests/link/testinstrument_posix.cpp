// The serial-link test's instrument on POSIX: a simulator of its own for every case.
#include "testinstrument.h"

#include "tools/simulator.h"

#include <QtGlobal>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <exception>
#include <optional>
#include <string>
#include <thread>

#include <sys/ioctl.h>
#include <unistd.h>

struct TestInstrument::Impl {
    std::optional<hmx::sim::Simulator> sim;
    std::string failure;
};

TestInstrument::TestInstrument()
    : d(std::make_unique<Impl>())
{
    try {
        d->sim.emplace();
    } catch (const std::exception& e) {
        d->failure = e.what();
    }
}

TestInstrument::~TestInstrument() = default;

bool TestInstrument::ready() const
{
    return d->sim.has_value();
}

const char* TestInstrument::failure() const
{
    return d->failure.c_str();
}

hmx::SerialLink::Opened TestInstrument::openPort()
{
    qputenv("HMX700_PORTS", QByteArray::fromStdString(d->sim->devicePath()));
    return hmx::SerialLink::OpenNumber(1);
}

QByteArray TestInstrument::command(const QByteArray& line)
{
    return QByteArray::fromStdString(d->sim->Control(line.toStdString()));
}

bool TestInstrument::commandsTakeLineBreaks()
{
    return true;
}

hmx::sim::Simulator& TestInstrument::simulator()
{
    return *d->sim;
}

int BytesWaiting(hmx::PortHandle port)
{
    int n = 0;
    if (::ioctl(static_cast<int>(port), FIONREAD, &n) != 0)
        return -1;
    return n;
}

long long FillLine(hmx::PortHandle port)
{
    const std::vector<char> junk(4096, 'x');
    long long total = 0;
    // The terminal moves bytes to the far side's buffer in the background, so room can
    // reappear shortly after a refusal; full means still refused after a pause.
    for (int settled = 0; settled < 3 && total < 64LL * 1024 * 1024;) {
        const ssize_t n = ::write(static_cast<int>(port), junk.data(), junk.size());
        if (n > 0) {
            total += n;
            settled = 0;
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return -1;
        ++settled;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return total;
}

long long ThreadCpuMs()
{
    timespec t {};
    if (::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t) != 0)
        return -1;
    return static_cast<long long>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}
