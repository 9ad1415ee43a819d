// The serial link on POSIX: a terminal device in raw mode, 19200 8N1, held exclusively.
#include "link/seriallink.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <thread>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace hmx {

namespace {

// Time one write, or the wait for the output queue to empty, may take before the
// attempt counts as failed; a whole Transmit buffer needs about 36 ms on the line.
constexpr std::chrono::milliseconds WriteTimeout{500};
constexpr std::chrono::milliseconds DrainTimeout{500};

// Errors with which a terminal says it is gone: an unplugged USB adapter, a hung-up
// pseudo-terminal, a closed descriptor.
bool isLossError(int error)
{
    return error == EIO || error == ENXIO || error == ENODEV || error == EBADF;
}

// The device node a port was opened through has gone, or now names another device.
bool nodeReplaced(const std::string& path, dev_t device)
{
    struct stat now {};
    if (::stat(path.c_str(), &now) != 0)
        return errno == ENOENT || errno == ENOTDIR;
    return S_ISCHR(now.st_mode) && now.st_rdev != device;
}

OpenFailure failureOf(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENXIO:
    case ENODEV:
        return OpenFailure::Absent;
    case EACCES:
    case EPERM:
    case EROFS:
        return OpenFailure::Denied;
    case EBUSY:
    case EWOULDBLOCK:
        return OpenFailure::Busy;
    default:
        return OpenFailure::Other;
    }
}

int fdOf(PortHandle handle)
{
    return static_cast<int>(handle);
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
    SortSerialDeviceNames(names);
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

// What an open port needs remembered: the terminal settings found at open (put back
// at close) and the device node, to notice when it is removed or replaced.
struct SerialLink::Platform {
    termios saved {};
    std::string path;
    dev_t device = 0;
};

SerialLink::SerialLink(PortHandle handle, std::string device, std::unique_ptr<Platform> platform)
    : m_handle(handle)
    , m_device(std::move(device))
    , m_platform(std::move(platform))
{
}

std::vector<std::string> PortNames()
{
    const char* list = std::getenv("HMX700_PORTS");
    const std::vector<std::string> ports = list ? configuredPorts(list) : systemSerialDevices();
    std::vector<std::string> names(256);
    // A device is known by its node; a name that does not resolve is known by itself.
    std::vector<std::pair<dev_t, std::string>> seen;
    for (std::size_t n = 1; n < names.size() && n <= ports.size(); ++n) {
        const std::string& name = ports[n - 1];
        if (name.empty())
            continue;
        struct stat st {};
        const bool isDevice = ::stat(name.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
        const std::pair<dev_t, std::string> key {isDevice ? st.st_rdev : 0, isDevice ? std::string() : name};
        if (std::find(seen.begin(), seen.end(), key) != seen.end())
            continue;
        seen.push_back(key);
        names[n] = name;
    }
    return names;
}

bool PortPresent(const std::string& name)
{
    struct stat st {};
    return !name.empty() && ::stat(name.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

std::string CanonicalPortName(const std::string& name)
{
    char* resolved = ::realpath(name.c_str(), nullptr);
    if (!resolved)
        return name;
    std::string canonical(resolved);
    std::free(resolved);
    return canonical;
}

std::string PortName(int number)
{
    if (number < 1 || number > 255)
        return {};
    return PortNames()[static_cast<std::size_t>(number)];
}

SerialLink::Opened SerialLink::Open(const std::string& name)
{
    int fd;
    do {
        fd = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return {nullptr, failureOf(errno)};

    // Not a terminal: nothing to talk to. Held by someone else: not ours to use.
    termios old {};
    if (!isatty(fd) || tcgetattr(fd, &old) != 0) {
        closeRetrying(fd);
        return {nullptr, OpenFailure::NotSerial};
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const OpenFailure failure = failureOf(errno);
        closeRetrying(fd);
        return {nullptr, failure};
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
        const OpenFailure failure = failureOf(errno);
        ::ioctl(fd, TIOCNXCL);
        closeRetrying(fd);
        return {nullptr, failure};
    }

    // Pseudo-terminals have no modem lines; that failure does not matter.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ::ioctl(fd, TIOCMBIC, &lines);

    auto platform = std::make_unique<Platform>();
    platform->saved = old;
    platform->path = name;
    struct stat st {};
    if (::fstat(fd, &st) == 0)
        platform->device = st.st_rdev;
    return {std::unique_ptr<SerialLink>(new SerialLink(fd, name, std::move(platform))), OpenFailure::None};
}

SerialLink::~SerialLink()
{
    const int fd = fdOf(m_handle);
    tcsetattr(fd, TCSANOW, &m_platform->saved);
    // The exclusive flag outlives the descriptor while anyone else holds the terminal.
    ::ioctl(fd, TIOCNXCL);
    closeRetrying(fd);
}

bool SerialLink::TransmitBytes(std::size_t count)
{
    const int fd = fdOf(m_handle);
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
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            if (isLossError(errno))
                markLost();
            return false;
        }
        // Output queue full: wait for room, but not past the deadline, in short slices
        // so that an interruption is seen.
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || interrupted())
            return false;
        pollfd p {fd, POLLOUT, 0};
        const int r = ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 20)));
        if (r < 0 && errno != EINTR)
            return false;
        if (r > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL))) {
            markLost();
            return false;
        }
    }
    return FlushOutput();
}

std::size_t SerialLink::ReadReply(std::size_t maxCount)
{
    const int fd = fdOf(m_handle);
    pollfd p {fd, POLLIN, 0};
    if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL))) {
        markLost();
        return 0;
    }
    if (nodeReplaced(m_platform->path, m_platform->device)) {
        markLost();
        return 0;
    }
    int waiting = 0;
    if (::ioctl(fd, FIONREAD, &waiting) != 0) {
        if (isLossError(errno))
            markLost();
        return 0;
    }
    if (waiting <= 0)
        return 0;
    const std::size_t want = std::min({maxCount, ReceiveBufferSize, static_cast<std::size_t>(waiting)});
    std::size_t got = 0;
    while (got < want) {
        const ssize_t n = ::read(fd, ReceiveBuffer + got, want - got);
        if (n > 0)
            got += static_cast<std::size_t>(n);
        else if (n < 0 && errno == EINTR)
            continue;
        else {
            if (n < 0 && isLossError(errno))
                markLost();
            break;
        }
    }
    return got;
}

void SerialLink::DiscardInput()
{
    tcflush(fdOf(m_handle), TCIFLUSH);
}

std::size_t SerialLink::WaitingBytes() const
{
    int waiting = 0;
    if (::ioctl(fdOf(m_handle), FIONREAD, &waiting) != 0 || waiting < 0)
        return 0;
    return static_cast<std::size_t>(waiting);
}

bool SerialLink::FlushOutput()
{
    const int fd = fdOf(m_handle);
    // tcdrain cannot be bounded, so first wait for the driver's queue with a deadline;
    // tcdrain then only waits for the last characters in the hardware.
    const auto deadline = std::chrono::steady_clock::now() + DrainTimeout;
    int queued = 0;
    while (true) {
        if (::ioctl(fd, TIOCOUTQ, &queued) != 0) {
            if (isLossError(errno))
                markLost();
            break;
        }
        if (queued <= 0)
            break;
        if (std::chrono::steady_clock::now() >= deadline || interrupted())
            return false;
        // About half a millisecond per character at 19200 baud.
        std::this_thread::sleep_for(std::chrono::microseconds(std::clamp(queued * 520, 1000, 20000)));
    }
    int r;
    do {
        r = tcdrain(fd);
    } while (r != 0 && errno == EINTR);
    if (r != 0 && isLossError(errno))
        markLost();
    return r == 0;
}

} // namespace hmx
