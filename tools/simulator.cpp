// A simulated HMX-700 answering on the master side of a pseudo-terminal.
#include "tools/simulator.h"

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string_view>
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

using Clock = std::chrono::steady_clock;

constexpr std::size_t QueryFrameSize = 7;
constexpr std::size_t WriteFrameSize = 3 + RecordSize + 3;

bool isQueryLetter(std::uint8_t c)
{
    return c == 'i' || c == 'v' || c == 's' || c == 't';
}

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

SettingsRecord DefaultSettingsRecord()
{
    SettingsValues v;
    v.UpperUnit = 0;  // °Cdp
    v.LowerUnit = 5;  // °C
    v.Alarm1Mode = 0;  // off
    v.Alarm2Mode = 0;
    v.Alarm1High = 200;  // 20.0 °Cdp
    v.Alarm1HighExp = 1;
    v.Alarm1Low = -200;  // -20.0 °Cdp
    v.Alarm1LowExp = 1;
    v.Alarm2High = 300;  // 30.0 °C
    v.Alarm2Low = 100;   // 10.0 °C
    v.Output1Type = 4;  // 4-20 mA
    v.Output2Type = 4;
    v.Output1Min = -400;  // output 1 -40.0 .. 60.0 °Cdp
    v.Output1MinExp = 1;
    v.Output1Max = 600;
    v.Output1MaxExp = 1;
    v.Output2Min = -200;  // output 2 -20.0 .. 80.0 °C
    v.Output2Max = 800;
    v.CleaningInterval = 24;  // hours
    SettingsRecord r {};
    // Where the client never reads, the instrument starts with what a client writes there.
    EncodeSettingsRecord(v, r.data(), RecordForm::Frame);
    EncodeSettingsRecord(v, r.data(), RecordForm::Reply);
    return r;
}

struct Simulator::Impl {
    int master = -1;
    int slave = -1;
    int wakeRead = -1;
    int wakeWrite = -1;
    std::string linkDir;
    std::string link;
    std::thread thread;
    std::atomic<bool> stop {false};
    const Clock::time_point started = Clock::now();

    mutable std::mutex mutex;  // guards everything below
    std::string path;
    bool plugged = false;
    std::vector<std::uint8_t> injected;  // to be sent at once
    std::mt19937 random {std::random_device {}()};
    // The instrument as it starts; reset() goes back to it.
    struct State {
        std::string modelName {"HMX-700"};
        std::uint8_t version = 1;
        std::uint8_t revision = 0;
        std::uint16_t serial = 12345;
        SettingsRecord settings = DefaultSettingsRecord();
        std::optional<MeasurementTenths> fixed;
        bool silent = false;
        bool stalled = false;
        std::chrono::milliseconds delay {0};
        std::size_t splitBytes = 0;
        std::chrono::milliseconds splitGap {0};
        std::string extra;
        bool dropAck = false;
    };
    State state;
    std::vector<std::vector<std::uint8_t>> frames;
    std::vector<std::uint8_t> bytes;
    std::size_t stray = 0;
    std::vector<SentReply> sent;

    // Thread-only state.
    std::vector<std::uint8_t> pending;  // received, not yet parsed
    struct Chunk {
        Clock::time_point due;
        std::vector<std::uint8_t> data;
    };
    std::deque<Chunk> outgoing;  // in due order

    void wake()
    {
        const char c = 1;
        [[maybe_unused]] const ssize_t n = ::write(wakeWrite, &c, 1);
    }

    MeasurementTenths currentMeasurement() const
    {
        if (state.fixed)
            return *state.fixed;
        const double t = std::chrono::duration<double>(Clock::now() - started).count();
        constexpr double twoPi = 6.283185307179586;
        MeasurementTenths m;
        m.humidity = static_cast<std::int16_t>(std::lround(450 + 50 * std::sin(twoPi * t / 60)));
        m.dewPoint = static_cast<std::int16_t>(std::lround(100 + 20 * std::sin(twoPi * t / 90)));
        m.ambient = static_cast<std::int16_t>(std::lround(220 + 10 * std::sin(twoPi * t / 120)));
        return m;
    }

    // Builds the answer to one frame; called with the mutex held. Empty: no answer.
    std::vector<std::uint8_t> answer(const std::vector<std::uint8_t>& frame)
    {
        std::vector<std::uint8_t> reply;
        switch (frame[2]) {
        case 'i':
            reply.assign(state.modelName.begin(), state.modelName.end());
            break;
        case 'v':
            reply = {'H', 'M', 'X', 'v', ' ', state.version, state.revision,
                     static_cast<std::uint8_t>(state.serial >> 8), static_cast<std::uint8_t>(state.serial & 0xFF)};
            break;
        case 's':
            reply.assign(state.settings.begin(), state.settings.end());
            break;
        case 't': {
            const MeasurementTenths m = currentMeasurement();
            for (std::int16_t v : {m.humidity, m.dewPoint, m.ambient}) {
                const auto bits = static_cast<std::uint16_t>(v);
                reply.push_back(static_cast<std::uint8_t>(bits >> 8));
                reply.push_back(static_cast<std::uint8_t>(bits & 0xFF));
            }
            break;
        }
        case 'm': {
            // Where the client writes only its own content, the instrument keeps its bytes.
            const SettingsValues written = DecodeSettingsRecord(frame.data() + 3, RecordForm::Frame);
            EncodeSettingsRecord(written, state.settings.data(), RecordForm::Reply);
            if (state.dropAck)
                return {};
            reply = {'O', 'K'};
            break;
        }
        default:
            break;
        }
        reply.insert(reply.end(), state.extra.begin(), state.extra.end());
        return reply;
    }

    void schedule(std::vector<std::uint8_t> reply, char command)
    {
        if (reply.empty())
            return;
        const Clock::time_point due = Clock::now() + state.delay;
        const bool split = state.splitBytes > 0 && state.splitBytes < reply.size();
        sent.push_back({command, reply, !split});
        if (split) {
            std::vector<std::uint8_t> rest(reply.begin() + static_cast<std::ptrdiff_t>(state.splitBytes), reply.end());
            reply.resize(state.splitBytes);
            outgoing.push_back({due, std::move(reply)});
            outgoing.push_back({due + state.splitGap, std::move(rest)});
        } else {
            outgoing.push_back({due, std::move(reply)});
        }
    }

    // Takes complete frames from the front of pending; a byte that cannot start a frame is stray.
    void parse()
    {
        std::size_t pos = 0;
        while (pos < pending.size()) {
            const std::size_t left = pending.size() - pos;
            const std::uint8_t* p = pending.data() + pos;
            bool bad = false;
            std::size_t need = 0;
            if (p[0] != '0')
                bad = true;
            else if (left >= 2 && p[1] != '1')
                bad = true;
            else if (left >= 3) {
                if (isQueryLetter(p[2]))
                    need = QueryFrameSize;
                else if (p[2] == 'm')
                    need = WriteFrameSize;
                else
                    bad = true;
            }
            if (!bad && need == QueryFrameSize) {
                const char tail[] = "?end";
                for (std::size_t k = 3; k < QueryFrameSize && k < left && !bad; ++k)
                    bad = p[k] != static_cast<std::uint8_t>(tail[k - 3]);
            } else if (!bad && need == WriteFrameSize) {
                const char tail[] = "end";
                for (std::size_t k = 39; k < WriteFrameSize && k < left && !bad; ++k)
                    bad = p[k] != static_cast<std::uint8_t>(tail[k - 39]);
            }
            if (bad) {
                ++stray;
                ++pos;
                continue;
            }
            if (need == 0 || left < need)
                break;  // a frame may still be coming
            std::vector<std::uint8_t> frame(p, p + need);
            pos += need;
            frames.push_back(frame);
            if (!state.silent)
                schedule(answer(frame), static_cast<char>(frame[2]));
        }
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(pos));
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
                reading = !state.stalled;
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
                    bytes.insert(bytes.end(), buffer, buffer + n);
                    pending.insert(pending.end(), buffer, buffer + n);
                    parse();
                }
            }
            // Send what is due, as far as the terminal takes it.
            while (!outgoing.empty() && outgoing.front().due <= Clock::now()) {
                Chunk& chunk = outgoing.front();
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
        pending.clear();
        outgoing.clear();
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
    d->state.modelName = std::move(name);
}

void Simulator::setVersion(std::uint8_t version, std::uint8_t revision, std::uint16_t serial)
{
    std::lock_guard guard(d->mutex);
    d->state.version = version;
    d->state.revision = revision;
    d->state.serial = serial;
}

void Simulator::setSettingsRecord(const SettingsRecord& record)
{
    std::lock_guard guard(d->mutex);
    d->state.settings = record;
}

SettingsRecord Simulator::settingsRecord() const
{
    std::lock_guard guard(d->mutex);
    return d->state.settings;
}

void Simulator::setMeasurement(std::optional<MeasurementTenths> fixed)
{
    std::lock_guard guard(d->mutex);
    d->state.fixed = fixed;
}

void Simulator::setSilent(bool silent)
{
    std::lock_guard guard(d->mutex);
    d->state.silent = silent;
}

void Simulator::setReplyDelay(std::chrono::milliseconds delay)
{
    std::lock_guard guard(d->mutex);
    d->state.delay = delay;
}

void Simulator::setSplitReply(std::size_t bytes, std::chrono::milliseconds gap)
{
    std::lock_guard guard(d->mutex);
    d->state.splitBytes = bytes;
    d->state.splitGap = gap;
}

void Simulator::setExtraBytes(std::string extra)
{
    std::lock_guard guard(d->mutex);
    d->state.extra = std::move(extra);
}

void Simulator::setDropAcknowledgement(bool drop)
{
    std::lock_guard guard(d->mutex);
    d->state.dropAck = drop;
}

void Simulator::setStalled(bool stalled)
{
    {
        std::lock_guard guard(d->mutex);
        d->state.stalled = stalled;
    }
    d->wake();
}

void Simulator::injectNoise(std::size_t count)
{
    std::vector<std::uint8_t> noise(count);
    {
        std::lock_guard guard(d->mutex);
        std::uniform_int_distribution<int> byte(0, 255);
        for (std::uint8_t& b : noise)
            b = static_cast<std::uint8_t>(byte(d->random));
    }
    injectBytes(noise);
}

void Simulator::injectBytes(const std::vector<std::uint8_t>& bytes)
{
    {
        std::lock_guard guard(d->mutex);
        d->injected.insert(d->injected.end(), bytes.begin(), bytes.end());
        d->sent.push_back({0, bytes, true});
    }
    d->wake();
}

void Simulator::disappear()
{
    unplug();
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
        d->state = Impl::State {};
        d->injected.clear();
    }
    clearRecord();
    replug();
}

bool Simulator::plugged() const
{
    std::lock_guard guard(d->mutex);
    return d->plugged;
}

const char* Simulator::CommandHelp()
{
    return "  path                 the terminal device now in use\n"
           "  link                 the link that stays the same across replugs\n"
           "  unplug | replug      pull the adapter out / put it back\n"
           "  silent on|off        ignore every frame, or answer again\n"
           "  stall on|off         stop reading the line, so the client's writes pile up\n"
           "  delay MS             answer MS milliseconds late\n"
           "  split N MS           send N bytes of each reply, the rest MS milliseconds later (N 0: whole)\n"
           "  extra TEXT           append TEXT to every reply (no TEXT: nothing)\n"
           "  noise N              send N random bytes now\n"
           "  model NAME           answer NAME to the identify command\n"
           "  measure H D A        fixed readings in tenths; 'measure off': varying readings\n"
           "  drop-ok on|off       no OK after a settings write\n"
           "  frames               every frame received so far, in hex, separated by spaces\n"
           "  stray                the count of bytes that formed no frame\n"
           "  clear                forget the frames and bytes received and the journal\n"
           "  version V R SN       version, revision and serial number\n"
           "  send HEX             send these bytes now (hex digits)\n"
           "  record               the settings record as applied, in hex\n"
           "  bytes                every byte received so far, in hex\n"
           "  received             the count of bytes received so far\n"
           "  journal              what was sent, one entry per reply or unasked burst: the query\n"
           "                       letter ('-' unasked), the bytes in hex, 'whole' or 'split'\n"
           "  reset                back to how the instrument starts: plugged in on a new terminal,\n"
           "                       built-in defaults and record, nothing received\n";
}

namespace {

bool parseNumber(const std::string& text, long low, long high, long& value)
{
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && errno == 0 && *end == '\0' && value >= low && value <= high;
}

std::string hexOf(const std::vector<std::uint8_t>& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (std::uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

// Whole bytes only; an odd count or another character is an error.
bool parseHex(const std::string& text, std::vector<std::uint8_t>& bytes)
{
    auto digit = [](char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    if (text.size() % 2 != 0)
        return false;
    bytes.clear();
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = digit(text[i]), low = digit(text[i + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return true;
}

} // namespace

std::string Simulator::Control(const std::string& command)
{
    std::istringstream in(command);
    std::string verb;
    in >> verb;
    std::vector<std::string> args;
    for (std::string word; in >> word;)
        args.push_back(word);
    auto onOff = [&](bool& value) {
        if (args.size() != 1 || (args[0] != "on" && args[0] != "off"))
            return false;
        value = args[0] == "on";
        return true;
    };
    long a = 0, b = 0, c = 0;
    bool flag = false;
    if (verb == "path")
        return devicePath();
    if (verb == "link")
        return linkPath();
    if (verb == "unplug" && args.empty()) {
        unplug();
        return "ok";
    }
    if (verb == "replug" && args.empty()) {
        replug();
        return "ok";
    }
    if (verb == "silent" && onOff(flag)) {
        setSilent(flag);
        return "ok";
    }
    if (verb == "stall" && onOff(flag)) {
        setStalled(flag);
        return "ok";
    }
    if (verb == "drop-ok" && onOff(flag)) {
        setDropAcknowledgement(flag);
        return "ok";
    }
    if (verb == "delay" && args.size() == 1 && parseNumber(args[0], 0, 600000, a)) {
        setReplyDelay(std::chrono::milliseconds(a));
        return "ok";
    }
    if (verb == "split" && args.size() == 2 && parseNumber(args[0], 0, 4096, a) && parseNumber(args[1], 0, 600000, b)) {
        setSplitReply(static_cast<std::size_t>(a), std::chrono::milliseconds(b));
        return "ok";
    }
    if (verb == "noise" && args.size() == 1 && parseNumber(args[0], 0, 1 << 20, a)) {
        injectNoise(static_cast<std::size_t>(a));
        return "ok";
    }
    if (verb == "extra") {
        const std::size_t at = command.find("extra") + 5;
        std::string text = at < command.size() ? command.substr(at + 1) : std::string();
        setExtraBytes(text);
        return "ok";
    }
    if (verb == "model" && args.size() == 1) {
        setModelName(args[0]);
        return "ok";
    }
    if (verb == "measure" && args.size() == 1 && args[0] == "off") {
        setMeasurement(std::nullopt);
        return "ok";
    }
    if (verb == "measure" && args.size() == 3 && parseNumber(args[0], -32768, 32767, a)
        && parseNumber(args[1], -32768, 32767, b) && parseNumber(args[2], -32768, 32767, c)) {
        setMeasurement(MeasurementTenths {static_cast<std::int16_t>(a), static_cast<std::int16_t>(b),
                                          static_cast<std::int16_t>(c)});
        return "ok";
    }
    if (verb == "frames" && args.empty()) {
        std::string text;
        for (const auto& frame : receivedFrames())
            text += (text.empty() ? "" : " ") + hexOf(frame);
        return text;
    }
    if (verb == "stray" && args.empty())
        return std::to_string(strayByteCount());
    if (verb == "clear" && args.empty()) {
        clearRecord();
        return "ok";
    }
    if (verb == "version" && args.size() == 3 && parseNumber(args[0], 0, 255, a) && parseNumber(args[1], 0, 255, b)
        && parseNumber(args[2], 0, 65535, c)) {
        setVersion(static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b), static_cast<std::uint16_t>(c));
        return "ok";
    }
    std::vector<std::uint8_t> bytes;
    if (verb == "send" && args.size() == 1 && parseHex(args[0], bytes)) {
        injectBytes(bytes);
        return "ok";
    }
    if (verb == "record" && args.empty()) {
        const SettingsRecord record = settingsRecord();
        return hexOf(std::vector<std::uint8_t>(record.begin(), record.end()));
    }
    if (verb == "bytes" && args.empty())
        return hexOf(receivedBytes());
    if (verb == "received" && args.empty())
        return std::to_string(receivedByteCount());
    if (verb == "journal" && args.empty()) {
        std::string text;
        for (const SentReply& reply : journal())
            text += std::string(text.empty() ? "" : "\n") + (reply.command ? reply.command : '-') + ' '
                + hexOf(reply.bytes) + (reply.whole ? " whole" : " split");
        return text;
    }
    if (verb == "reset" && args.empty()) {
        reset();
        return "ok";
    }
    return "error: unknown command or bad arguments: " + command;
}

std::vector<std::vector<std::uint8_t>> Simulator::receivedFrames() const
{
    std::lock_guard guard(d->mutex);
    return d->frames;
}

std::vector<std::uint8_t> Simulator::receivedBytes() const
{
    std::lock_guard guard(d->mutex);
    return d->bytes;
}

std::size_t Simulator::strayByteCount() const
{
    std::lock_guard guard(d->mutex);
    return d->stray;
}

std::size_t Simulator::receivedByteCount() const
{
    std::lock_guard guard(d->mutex);
    return d->bytes.size();
}

std::vector<SentReply> Simulator::journal() const
{
    std::lock_guard guard(d->mutex);
    return d->sent;
}

void Simulator::clearRecord()
{
    std::lock_guard guard(d->mutex);
    d->frames.clear();
    d->bytes.clear();
    d->stray = 0;
    d->sent.clear();
}

} // namespace hmx::sim
