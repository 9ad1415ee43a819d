// The stop signals of a terminal session (SIGTERM, SIGINT, SIGHUP: logout, kill,
// Ctrl+C) close the main window in the same orderly way as its close button.
#pragma once

class TForm1;

namespace hmx {

// Installs the handlers; a signal then reaches `window` through the event loop.
// Does nothing where the platform has no such signals.
void CloseOnStopSignals(TForm1& window);

} // namespace hmx
