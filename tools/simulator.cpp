// A simulated HMX-700 answering on the master side of a pseudo-terminal.
#include "tools/simulator.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#if defined(__APPLE__)
#include <util.h>
#else
#include <pty.h>
#endif

namespace hmx::sim {

namespace {

using Clock = InstrumentModel::Clock;

void setCloseOnExec(int fd)
{
    const int flags = fcntl(fd, F_GETFD);
    if (flags >= 0)
        fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
}

void setNonBlocking(int fd)
{
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0)
        fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

} // namespace

struct Simulator::Impl {
    int master = -1;
    int slave = -1;
    int wakeRead = -1;
    int wakeWrite = -1;
    std::string linkDir;
    std::string link;
    std::thread thread;
    std::atomic<bool> stop {false};

    mutable std::mutex mutex;  // guards everything below
    std::string path;
    bool plugged = false;
    bool stalled = false;  // not reading the line
    std::vector<std::uint8_t> injected;  // to be sent at once
    InstrumentModel model;

    // Thread-only state.
    std::deque<InstrumentModel::Chunk> outgoing;  // in the order to be sent

    void wake()
    {
        const char c = 1;
        [[maybe_unused]] const ssize_t n = ::write(wakeWrite, &c, 1);
    }

    void run()
    {
        std::uint8_t buffer[1024];
        while (!stop.load(std::memory_order_acquire)) {
            int timeout = -1;
            if (!outgoing.empty()) {
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(outgoing.front().due - Clock::now());
                timeout = static_cast<int>(std::max<long long>(0, left.count()));
            }
            const bool wantWrite = !outgoing.empty() && outgoing.front().due <= Clock::now();
            bool reading = true;
            {
                std::lock_guard guard(mutex);
                reading = !stalled;
            }
            const short events = static_cast<short>((reading ? POLLIN : 0) | (wantWrite ? POLLOUT : 0));
            pollfd fds[2] = {{master, events, 0}, {wakeRead, POLLIN, 0}};
            if (wantWrite)
                timeout = -1;
            const int r = ::poll(fds, 2, timeout);
            if (r < 0 && errno != EINTR)
                break;
            if (fds[0].revents & POLLNVAL)
                break;
            if ((fds[0].revents & (POLLHUP | POLLERR)) && !(fds[0].revents & POLLIN))
                std::this_thread::sleep_for(std::chrono::milliseconds(10));  // no busy loop on a hung-up side
            if (fds[1].revents & POLLIN) {
                while (::read(wakeRead, buffer, sizeof buffer) > 0) {
                }
                std::lock_guard guard(mutex);
                if (!injected.empty()) {
                    outgoing.push_front({Clock::now(), std::move(injected)});
                    injected.clear();
                }
            }
            if (reading && (fds[0].revents & POLLIN)) {
                const ssize_t n = ::read(master, buffer, sizeof buffer);
                if (n > 0) {
                    std::lock_guard guard(mutex);
                    for (InstrumentModel::Chunk& chunk :
                         model.receive(buffer, static_cast<std::size_t>(n), Clock::now()))
                        outgoing.push_back(std::move(chunk));
                }
            }
            // Send what is due, as far as the terminal takes it.
            while (!outgoing.empty() && outgoing.front().due <= Clock::now()) {
                InstrumentModel::Chunk& chunk = outgoing.front();
                const ssize_t n = ::write(master, chunk.data.data(), chunk.data.size());
                if (n < 0) {
                    if (errno == EINTR)
                        continue;
                    if (errno == EAGAIN || errno == EWOULDBLOCK)
                        break;
                    outgoing.clear();  // terminal gone; nothing to answer to
                    break;
                }
                chunk.data.erase(chunk.data.begin(), chunk.data.begin() + n);
                if (chunk.data.empty())
                    outgoing.pop_front();
                else
                    break;
            }
        }
    }

    void stopThread()
    {
        if (thread.joinable()) {
            stop.store(true, std::memory_order_release);
            wake();
            thread.join();
        }
        // What was half received or still to be sent belonged to the old line.
        outgoing.clear();
        std::lock_guard guard(mutex);
        model.dropPartialFrame();
    }

    void closeTerminal()
    {
        if (master >= 0)
            ::close(master);
        if (slave >= 0)
            ::close(slave);
        master = slave = -1;
    }

    // Opens a new pseudo-terminal, points the link at it and starts answering.
    void plugIn()
    {
        if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
            throw std::runtime_error(std::string("Cannot open a pseudo-terminal: ") + std::strerror(errno));
        setCloseOnExec(master);
        setCloseOnExec(slave);
        setNonBlocking(master);
        // Raw on the slave side too, so every byte passes unchanged in both directions.
        termios raw {};
        if (tcgetattr(slave, &raw) == 0) {
            cfmakeraw(&raw);
            tcsetattr(slave, TCSANOW, &raw);
        }
        const char* name = ::ttyname(slave);
        const std::string device = name ? name : "";
        // Replaced in one step, so the link never dangles while plugged.
        const std::string next = link + ".new";
        ::unlink(next.c_str());
        if (::symlink(device.c_str(), next.c_str()) == 0)
            ::rename(next.c_str(), link.c_str());
        {
            std::lock_guard guard(mutex);
            path = device;
            plugged = true;
        }
        stop.store(false, std::memory_order_release);
        thread = std::thread([this] { run(); });
    }

    void unplugNow()
    {
        stopThread();
        closeTerminal();
        ::unlink(link.c_str());
        std::lock_guard guard(mutex);
        plugged = false;
    }
};

Simulator::Simulator()
    : d(std::make_unique<Impl>())
{
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/hmx700-sim-XXXXXX";
    if (!::mkdtemp(dir.data()))
        throw std::runtime_error(std::string("Cannot create a folder for the device link: ") + std::strerror(errno));
    d->linkDir = dir;
    d->link = dir + "/usb-HMX-700-if00-port0";
    int wake[2];
    if (::pipe(wake) != 0) {
        ::rmdir(d->linkDir.c_str());
        throw std::runtime_error(std::string("Cannot create a pipe: ") + std::strerror(errno));
    }
    d->wakeRead = wake[0];
    d->wakeWrite = wake[1];
    for (int fd : wake) {
        setCloseOnExec(fd);
        setNonBlocking(fd);
    }
    try {
        d->plugIn();
    } catch (...) {
        ::close(d->wakeRead);
        ::close(d->wakeWrite);
        ::rmdir(d->linkDir.c_str());
        throw;
    }
}

Simulator::~Simulator()
{
    d->unplugNow();
    ::close(d->wakeRead);
    ::close(d->wakeWrite);
    ::rmdir(d->linkDir.c_str());
}

std::string Simulator::devicePath() const
{
    std::lock_guard guard(d->mutex);
    return d->path;
}

std::string Simulator::linkPath() const
{
    return d->link;
}

void Simulator::setModelName(std::string name)
{
    std::lock_guard guard(d->mutex);
    d->model.behaviour.modelName = std::move(name);
}

void Simulator::setVersion(std::uint8_t version, std::uint8_t revision, std::uint16_t serial)
{
    std::lock_guard guard(d->mutex);
    d->model.behaviour.version = version;
    d->model.behaviour.revision = revision;
    d->model.behaviour.serial = serial;
}

void Simulator::setSettingsRecord(const SettingsRecord& record)
{
    std::lock_guard guard(d->mutex);
    d->model.behaviour.settings = record;
}

SettingsRecord Simulator::settingsRecord() const
{
    std::lock_guard guard(d->mutex);
    return d->model.behaviour.settings;
}

void Simulator::setMeasurement(std::optional<MeasurementTenths> fixed)
{
    std::lock_guard guard(d->mutex);
    d->model.behaviour.fixed = fixed;
}

void Simulator::setSilent(bool silent)
{
    std::lock_guard guard(d->mutex);
    d->model.behaviour.silent = silent;
}

void Simulator::setReplyDelay(std::chrono::milliseconds delay)
{
    std::lock_guard guard(d->mutex);
    d->model.behaviour.delay = delay;
}

void Simulator::setSplitReply(std::size_t bytes, std::chrono::milliseconds gap)
{
    std::lock_guard guard(d->mutex);
    d->model.behaviour.splitBytes = bytes;
    d->model.behaviour.splitGap = gap;
}

void Simulator::setExtraBytes(std::string extra)
{
    std::lock_guard guard(d->mutex);
    d->model.behaviour.extra = std::move(extra);
}

void Simulator::setDropAcknowledgement(bool drop)
{
    std::lock_guard guard(d->mutex);
    d->model.behaviour.dropAck = drop;
}

void Simulator::setStalled(bool stalled)
{
    {
        std::lock_guard guard(d->mutex);
        d->stalled = stalled;
    }
    d->wake();
}

void Simulator::injectNoise(std::size_t count)
{
    std::vector<std::uint8_t> noise;
    {
        std::lock_guard guard(d->mutex);
        noise = d->model.noise(count);
    }
    injectBytes(noise);
}

void Simulator::injectBytes(const std::vector<std::uint8_t>& bytes)
{
    {
        std::lock_guard guard(d->mutex);
        d->injected.insert(d->injected.end(), bytes.begin(), bytes.end());
        d->model.sentUnasked(bytes);
    }
    d->wake();
}

void Simulator::unplug()
{
    if (plugged())
        d->unplugNow();
}

void Simulator::replug()
{
    if (!plugged())
        d->plugIn();
}

void Simulator::reset()
{
    unplug();
    {
        std::lock_guard guard(d->mutex);
        d->model.reset();
        d->stalled = false;
        d->injected.clear();
    }
    replug();
}

bool Simulator::plugged() const
{
    std::lock_guard guard(d->mutex);
    return d->plugged;
}

std::vector<std::vector<std::uint8_t>> Simulator::receivedFrames() const
{
    std::lock_guard guard(d->mutex);
    return d->model.frames();
}

std::vector<std::uint8_t> Simulator::receivedBytes() const
{
    std::lock_guard guard(d->mutex);
    return d->model.bytes();
}

std::size_t Simulator::strayByteCount() const
{
    std::lock_guard guard(d->mutex);
    return d->model.strayCount();
}

std::size_t Simulator::receivedByteCount() const
{
    std::lock_guard guard(d->mutex);
    return d->model.bytes().size();
}

std::vector<SentReply> Simulator::journal() const
{
    std::lock_guard guard(d->mutex);
    return d->model.journal();
}

void Simulator::clearRecord()
{
    std::lock_guard guard(d->mutex);
    d->model.clearRecord();
}

} // namespace hmx::sim
