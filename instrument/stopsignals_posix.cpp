// A signal handler may do next to nothing, so it only writes the signal's number to a
// pipe; the event loop reads it.
#include "instrument/stopsignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace hmx {

namespace {

int signalPipe[2] = {-1, -1};

extern "C" void OnStopSignal(int number)
{
    // The interrupted code may be about to read errno.
    const int savedErrno = errno;
    const char byte = static_cast<char>(number);
    // Non-blocking: with the pipe full, a stop is pending already.
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
    errno = savedErrno;
}

} // namespace

void RunOnStopSignals(QObject* context, std::function<void()> stop)
{
    // Neither end leaks into a child program, neither ever blocks.
    if (signalPipe[0] < 0 && ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [stop = std::move(stop)] {
        char bytes[16];
        while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
        }
        stop();
    });
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(number, &action, nullptr);
}

} // namespace hmx
