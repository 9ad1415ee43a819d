// The serial link on POSIX: a terminal device in raw mode, 19200 8N1, held exclusively.
#include "link/seriallink.h"
#include "link/seriallink_platform.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string_view>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace hmx {

namespace {

// Time one write, or the wait for the output queue to empty, may take before the
// attempt counts as failed; a whole Transmit buffer needs about 36 ms on the line.
constexpr std::chrono::milliseconds WriteTimeout{500};
constexpr std::chrono::milliseconds DrainTimeout{500};

// Terminal settings found at open, put back at close.
std::mutex& savedLock()
{
    static std::mutex lock;
    return lock;
}

std::map<int, termios>& savedSettings()
{
    static std::map<int, termios> settings;
    return settings;
}

int fdOf(PortHandle handle)
{
    return static_cast<int>(handle);
}

// "ttyS2" sorts before "ttyS10": runs of digits compare by value.
bool naturalLess(std::string_view a, std::string_view b)
{
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            std::size_t ei = i, ej = j;
            while (ei < a.size() && isDigit(a[ei]))
                ++ei;
            while (ej < b.size() && isDigit(b[ej]))
                ++ej;
            std::string_view na = a.substr(i, ei - i), nb = b.substr(j, ej - j);
            while (na.size() > 1 && na.front() == '0')
                na.remove_prefix(1);
            while (nb.size() > 1 && nb.front() == '0')
                nb.remove_prefix(1);
            if (na.size() != nb.size())
                return na.size() < nb.size();
            if (na != nb)
                return na < nb;
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j])
                return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    if ((a.size() - i) != (b.size() - j))
        return (a.size() - i) < (b.size() - j);
    return a < b;
}

std::vector<std::string> systemSerialDevices()
{
    static constexpr std::string_view prefixes[] = {
        "ttyS", "ttyUSB", "ttyACM", "ttyAMA", "rfcomm",
#ifdef __APPLE__
        "cu.",
#endif
    };
    std::vector<std::string> names;
    DIR* dir = opendir("/dev");
    if (!dir)
        return names;
    while (const dirent* entry = readdir(dir)) {
        const std::string_view name = entry->d_name;
        for (std::string_view prefix : prefixes) {
            if (name.size() > prefix.size() && name.substr(0, prefix.size()) == prefix) {
                names.emplace_back(name);
                break;
            }
        }
    }
    closedir(dir);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return naturalLess(a, b); });
    for (std::string& name : names)
        name.insert(0, "/dev/");
    return names;
}

std::vector<std::string> configuredPorts(const char* list)
{
    std::vector<std::string> paths;
    std::string_view rest = list;
    while (true) {
        const std::size_t colon = rest.find(':');
        const std::string_view item = rest.substr(0, colon);
        // An empty item still takes a number, so the numbering follows the list as written.
        paths.emplace_back(item);
        if (colon == std::string_view::npos)
            break;
        rest.remove_prefix(colon + 1);
    }
    if (paths.size() == 1 && paths.front().empty())
        paths.clear();
    return paths;
}

void closeRetrying(int fd)
{
    // close() is not retried on EINTR: on Linux the descriptor is gone either way.
    ::close(fd);
}

} // namespace

std::string PortName(int number)
{
    if (number < 1 || number > 255)
        return {};
    const char* list = std::getenv("HMX700_PORTS");
    const std::vector<std::string> ports = list ? configuredPorts(list) : systemSerialDevices();
    if (static_cast<std::size_t>(number) > ports.size())
        return {};
    return ports[static_cast<std::size_t>(number) - 1];
}

PortHandle OpenPort(int number)
{
    Port = InvalidPort;
    const std::string name = PortName(number);
    if (name.empty())
        return Port;

    int fd;
    do {
        fd = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return Port;

    // Not a terminal: nothing to talk to. Held by someone else: not ours to use.
    termios old {};
    if (!isatty(fd) || tcgetattr(fd, &old) != 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        closeRetrying(fd);
        return Port;
    }
    // TIOCEXCL keeps out programs that do not use flock (except root).
    ::ioctl(fd, TIOCEXCL);

    termios raw = old;
    cfmakeraw(&raw);
    raw.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB);
    raw.c_cflag |= CS8 | CLOCAL | CREAD;
#ifdef CRTSCTS
    raw.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
#endif
    raw.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    cfsetispeed(&raw, B19200);
    cfsetospeed(&raw, B19200);
    if (tcsetattr(fd, TCSANOW, &raw) != 0) {
        ::ioctl(fd, TIOCNXCL);
        closeRetrying(fd);
        return Port;
    }

    // Pseudo-terminals have no modem lines; that failure does not matter.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ::ioctl(fd, TIOCMBIC, &lines);

    {
        std::lock_guard guard(savedLock());
        savedSettings()[fd] = old;
    }
    Port = fd;
    return Port;
}

void ClosePort(PortHandle handle)
{
    if (handle == InvalidPort)
        return;
    const int fd = fdOf(handle);
    {
        std::lock_guard guard(savedLock());
        auto it = savedSettings().find(fd);
        if (it != savedSettings().end()) {
            tcsetattr(fd, TCSANOW, &it->second);
            savedSettings().erase(it);
        }
    }
    // The exclusive flag outlives the descriptor while anyone else holds the terminal.
    ::ioctl(fd, TIOCNXCL);
    closeRetrying(fd);
    if (Port == handle)
        Port = InvalidPort;
}

bool TransmitBytes(PortHandle handle, std::size_t count)
{
    if (handle == InvalidPort)
        return false;
    const int fd = fdOf(handle);
    count = std::min(count, TransmitBufferSize);
    const auto deadline = std::chrono::steady_clock::now() + WriteTimeout;
    std::size_t written = 0;
    while (written < count) {
        const ssize_t n = ::write(fd, TransmitBuffer + written, count - written);
        if (n > 0) {
            written += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return false;
        // Output queue full: wait for room, but not past the deadline.
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p {fd, POLLOUT, 0};
        const int r = ::poll(&p, 1, static_cast<int>(left.count()));
        if (r < 0 && errno != EINTR)
            return false;
        if (r > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)))
            return false;
    }
    return detail::FlushOutput(handle);
}

std::size_t ReadReply(PortHandle handle, std::size_t maxCount)
{
    if (handle == InvalidPort)
        return 0;
    const int fd = fdOf(handle);
    int waiting = 0;
    if (::ioctl(fd, FIONREAD, &waiting) != 0 || waiting <= 0)
        return 0;
    const std::size_t want = std::min({maxCount, ReceiveBufferSize, static_cast<std::size_t>(waiting)});
    std::size_t got = 0;
    while (got < want) {
        const ssize_t n = ::read(fd, ReceiveBuffer + got, want - got);
        if (n > 0)
            got += static_cast<std::size_t>(n);
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break;
    }
    return got;
}

namespace detail {

bool FlushOutput(PortHandle handle)
{
    if (handle == InvalidPort)
        return false;
    const int fd = fdOf(handle);
    // tcdrain cannot be bounded, so first wait for the driver's queue with a deadline;
    // tcdrain then only waits for the last characters in the hardware.
    const auto deadline = std::chrono::steady_clock::now() + DrainTimeout;
    int queued = 0;
    while (::ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        // About half a millisecond per character at 19200 baud.
        std::this_thread::sleep_for(std::chrono::microseconds(std::clamp(queued * 520, 1000, 20000)));
    }
    int r;
    do {
        r = tcdrain(fd);
    } while (r != 0 && errno == EINTR);
    return r == 0;
}

} // namespace detail

} // namespace hmx
