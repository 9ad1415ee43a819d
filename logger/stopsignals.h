// SIGTERM, SIGINT and SIGHUP (systemd's stop, Ctrl+C, a closed terminal) end the
// recorder in order: the handler only writes to a pipe; the event loop does the rest.
#pragma once

#include <QObject>

#include <functional>

namespace hmx {

// `stop` runs on the event loop of `context`'s thread, once per signal.
void RunOnStopSignals(QObject* context, std::function<void(int signal)> stop);

} // namespace hmx
