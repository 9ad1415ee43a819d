#include "logger/stopsignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace hmx {

namespace {

int signalPipe[2] = {-1, -1};

extern "C" void OnSignal(int number)
{
    const char byte = static_cast<char>(number);
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

} // namespace

void RunOnStopSignals(QObject* context, std::function<void(int)> stop)
{
    if (signalPipe[0] < 0) {
        if (::pipe2(signalPipe, O_CLOEXEC) != 0)
            return;
        ::fcntl(signalPipe[1], F_SETFL, O_NONBLOCK);
    }
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [stop = std::move(stop)] {
        char byte = 0;
        if (::read(signalPipe[0], &byte, 1) == 1)
            stop(byte);
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(number, &action, nullptr);
}

} // namespace hmx
