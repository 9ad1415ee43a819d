// A signal handler may do next to nothing, so it only writes the signal's number to a
// pipe; the event loop reads it and closes the window.
#include "ui/stopsignals.h"

#include "ui/mainwindow.h"

#include <QPointer>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace hmx {

namespace {

int signalPipe[2] = {-1, -1};

extern "C" void OnStopSignal(int number)
{
    const char byte = static_cast<char>(number);
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

} // namespace

void CloseOnStopSignals(TForm1& window)
{
    if (signalPipe[0] < 0) {
        if (::pipe(signalPipe) != 0)
            return;
        for (int fd : signalPipe)
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(signalPipe[1], F_SETFL, O_NONBLOCK);
    }
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [target = QPointer<TForm1>(&window)] {
        char byte;
        [[maybe_unused]] const ssize_t n = ::read(signalPipe[0], &byte, 1);
        if (target)
            target->CloseForStopSignal();
    });
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(number, &action, nullptr);
}

} // namespace hmx
