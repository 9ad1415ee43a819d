// The console's control handler runs on a thread of its own that the system starts; it
// only sets an event object, which the event loop watches.
#include "instrument/stopsignals.h"

#include <QWinEventNotifier>

#include <windows.h>

namespace hmx {

namespace {

HANDLE stopEvent = nullptr;

BOOL WINAPI OnConsoleControl(DWORD type)
{
    ::SetEvent(stopEvent);
    if (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT)
        return TRUE;
    // Closing, logoff, shutdown: returning would end the process at once. This thread waits
    // instead, and the process ends when the event loop has ended it in order (or when the
    // system's time for it is up).
    ::Sleep(INFINITE);
    return TRUE;
}

} // namespace

void RunOnStopSignals(QObject* context, std::function<void()> stop)
{
    if (!stopEvent) {
        // Manual reset: whichever notifier sees it first clears it.
        stopEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!stopEvent || !::SetConsoleCtrlHandler(OnConsoleControl, TRUE))
            return;
    }
    auto* notifier = new QWinEventNotifier(stopEvent, context);
    QObject::connect(notifier, &QWinEventNotifier::activated, context, [stop = std::move(stop)] {
        ::ResetEvent(stopEvent);
        stop();
    });
}

} // namespace hmx
