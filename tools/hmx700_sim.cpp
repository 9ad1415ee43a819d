// hmx700-sim: a simulated HMX-700 on a pseudo-terminal. Prints the path to open (a
// link that survives unplugging) and answers until SIGINT or SIGTERM. Commands read
// from standard input change its behaviour on the fly.
#include "tools/simulator.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

void usage(std::ostream& out)
{
    out << "Usage: hmx700-sim [options]\n"
           "  --model NAME        answer NAME to the identify command (default HMX-700)\n"
           "  --version V R SN    version, revision and serial number\n"
           "  --measure H D A     fixed readings in tenths (humidity, dew point, ambient)\n"
           "  --delay MS          answer MS milliseconds late\n"
           "  --split N MS        send N bytes of each reply, the rest MS milliseconds later\n"
           "  --extra TEXT        append TEXT to every reply\n"
           "  --silent            never answer\n"
           "  --drop-ok           no OK after a settings write\n"
           "  --unplug-after S    pull the adapter out S seconds after start and after each replug\n"
           "  --replug-after S    put it back S seconds after each unplug\n"
           "  --listen PORT       also take commands from TCP clients on 127.0.0.1:PORT (0: any\n"
           "                      free port); the second line printed is then 'listening on\n"
           "                      127.0.0.1:PORT'\n"
           "  --help              this text\n"
           "\n"
           "The first line printed is the path to open; it stays the same across unplugs.\n"
           "Commands on standard input, one per line, each answered with one line:\n"
        << hmx::sim::Simulator::CommandHelp();
}

long number(const char* text, long low, long high)
{
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < low || value > high)
        throw std::invalid_argument(std::string("not a number in ") + std::to_string(low) + ".." +
                                    std::to_string(high) + ": " + text);
    return value;
}

// A TCP socket on the loopback address for --listen; throws when it cannot be had.
int listenOn(long port, long& boundPort)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    socklen_t size = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 4) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        throw std::runtime_error(std::string("cannot listen on 127.0.0.1:") + std::to_string(port) + ": " +
                                 std::strerror(errno));
    boundPort = ntohs(address.sin_port);
    return fd;
}

bool sendAll(int fd, const std::string& text)
{
    for (std::size_t sent = 0; sent < text.size();) {
        const ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

// Each client sends command lines and gets one answer line for each, as on standard input.
template <typename Answer>
void serveClients(int listener, Answer answer)
{
    while (true) {
        const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            return;
        }
        std::thread([client, answer] {
            std::string pending;
            char buffer[512];
            while (true) {
                const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    break;
                pending.append(buffer, static_cast<std::size_t>(n));
                for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
                    std::string line = pending.substr(0, end);
                    pending.erase(0, end + 1);
                    if (!line.empty() && line.back() == '\r')
                        line.pop_back();
                    if (!line.empty() && !sendAll(client, answer(line) + "\n"))
                        break;
                }
            }
            ::close(client);
        }).detach();
    }
}

} // namespace

int main(int argc, char** argv)
{
    // Blocked before the simulator's thread starts, so only sigwait below sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    std::optional<std::chrono::seconds> unplugAfter;
    std::optional<std::chrono::seconds> replugAfter;
    std::optional<long> listenPort;
    // One command at a time, and none while the simulator goes away. Never destroyed:
    // the program ends with _Exit while it is held.
    static std::mutex lock;
    try {
        hmx::sim::Simulator sim;
        for (int i = 1; i < argc; ++i) {
            const std::string_view arg = argv[i];
            auto need = [&](int count) {
                if (i + count >= argc)
                    throw std::invalid_argument(std::string(arg) + " needs " + std::to_string(count) + " value(s)");
            };
            if (arg == "--help") {
                usage(std::cout);
                return 0;
            } else if (arg == "--model") {
                need(1);
                sim.setModelName(argv[++i]);
            } else if (arg == "--version") {
                need(3);
                const auto v = static_cast<std::uint8_t>(number(argv[i + 1], 0, 255));
                const auto r = static_cast<std::uint8_t>(number(argv[i + 2], 0, 255));
                const auto sn = static_cast<std::uint16_t>(number(argv[i + 3], 0, 65535));
                sim.setVersion(v, r, sn);
                i += 3;
            } else if (arg == "--measure") {
                need(3);
                hmx::sim::MeasurementTenths m;
                m.humidity = static_cast<std::int16_t>(number(argv[i + 1], -32768, 32767));
                m.dewPoint = static_cast<std::int16_t>(number(argv[i + 2], -32768, 32767));
                m.ambient = static_cast<std::int16_t>(number(argv[i + 3], -32768, 32767));
                sim.setMeasurement(m);
                i += 3;
            } else if (arg == "--delay") {
                need(1);
                sim.setReplyDelay(std::chrono::milliseconds(number(argv[++i], 0, 600000)));
            } else if (arg == "--split") {
                need(2);
                const auto bytes = static_cast<std::size_t>(number(argv[i + 1], 0, 4096));
                sim.setSplitReply(bytes, std::chrono::milliseconds(number(argv[i + 2], 0, 600000)));
                i += 2;
            } else if (arg == "--extra") {
                need(1);
                sim.setExtraBytes(argv[++i]);
            } else if (arg == "--silent") {
                sim.setSilent(true);
            } else if (arg == "--drop-ok") {
                sim.setDropAcknowledgement(true);
            } else if (arg == "--unplug-after") {
                need(1);
                unplugAfter = std::chrono::seconds(number(argv[++i], 1, 86400));
            } else if (arg == "--replug-after") {
                need(1);
                replugAfter = std::chrono::seconds(number(argv[++i], 1, 86400));
            } else if (arg == "--listen") {
                need(1);
                listenPort = number(argv[++i], 0, 65535);
            } else {
                std::cerr << "hmx700-sim: unknown option " << arg << "\n";
                usage(std::cerr);
                return 2;
            }
        }

        std::cout << sim.linkPath() << std::endl;
        if (listenPort) {
            long bound = 0;
            const int listener = listenOn(*listenPort, bound);
            std::cout << "listening on 127.0.0.1:" << bound << std::endl;
            // Left behind at exit, like the reader below.
            std::thread([listener, &sim] {
                serveClients(listener, [&sim](const std::string& line) {
                    std::lock_guard guard(lock);
                    return sim.Control(line);
                });
            }).detach();
        }

        // The reader may block on a terminal for ever; it is left behind at exit.
        std::thread([&sim] {
            for (std::string line; std::getline(std::cin, line);) {
                if (line.empty())
                    continue;
                std::lock_guard guard(lock);
                std::cout << sim.Control(line) << std::endl;
            }
        }).detach();

        using Clock = std::chrono::steady_clock;
        std::optional<Clock::time_point> next;
        if (unplugAfter)
            next = Clock::now() + *unplugAfter;
        while (true) {
            int signal = 0;
            if (next) {
                const auto left = std::max(Clock::duration::zero(), *next - Clock::now());
                const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
                const timespec timeout {static_cast<std::time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
                signal = sigtimedwait(&stopSignals, nullptr, &timeout);
            } else {
                sigwait(&stopSignals, &signal);
            }
            if (signal > 0)
                break;
            if (signal < 0 && errno != EAGAIN)
                continue;
            std::lock_guard guard(lock);
            if (sim.plugged()) {
                sim.unplug();
                std::cerr << "hmx700-sim: unplugged" << std::endl;
                next = replugAfter ? std::optional(Clock::now() + *replugAfter) : std::nullopt;
            } else {
                sim.replug();
                std::cerr << "hmx700-sim: plugged in again at " << sim.devicePath() << std::endl;
                next = unplugAfter ? std::optional(Clock::now() + *unplugAfter) : std::nullopt;
            }
        }
        lock.lock();  // held to the end: no command may reach a simulator being destroyed
    } catch (const std::exception& e) {
        std::cerr << "hmx700-sim: " << e.what() << "\n";
        return 1;
    }
    std::cout.flush();
    // The detached reader may still be waiting for input; do not wait for it.
    std::_Exit(0);
}
