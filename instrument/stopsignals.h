// A request from outside to stop, for the window and the recorder alike: on POSIX the
// signals SIGTERM, SIGINT and SIGHUP (systemd's stop, kill, Ctrl+C, a closed terminal); on
// Windows a console's Ctrl+C, Ctrl+Break, its closing, logoff and shutdown. The handler
// only wakes the event loop (a pipe, an event object); the loop does the orderly end.
#pragma once

#include <QObject>

#include <functional>

namespace hmx {

// `stop` runs on the event loop of `context`'s thread, once per request, for as long as
// `context` lives. On Windows a console that is closing, a logoff or a shutdown waits for
// the program to end (the system allows it a few seconds) rather than ending it at once.
void RunOnStopSignals(QObject* context, std::function<void()> stop);

} // namespace hmx
