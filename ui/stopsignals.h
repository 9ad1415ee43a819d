// The end of the program, however it comes: the window closed, a stop signal of a
// terminal session (SIGTERM, SIGINT, SIGHUP: logout, kill, Ctrl+C), or the display
// server gone (Qt then calls exit()). Each runs the same orderly end: the Poller
// stopped, held lines saved, the log and the port closed.
#pragma once

#include <QString>

class TForm1;

namespace hmx {

// Installs the handlers (instrument/stopsignals.h); a signal then reaches `window`
// through the event loop and ends the program at once (TForm1::CloseForStopSignal).
void CloseOnStopSignals(TForm1& window);

// Makes exit() run the main window's orderly end (TForm1::EndAtExit) before anything
// else it runs. exit() runs its handlers and the destructors of static objects in the
// reverse order of their making, so this is called again whenever a worker has started
// and has made what it uses; a later call goes first, and the end runs once.
void EndInOrderAtExit();

// "hmx700: <notice>" on standard error; nothing for an empty notice.
void TellOnStandardError(const QString& notice);

} // namespace hmx
