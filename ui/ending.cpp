// The parts of the end that every platform shares.
#include "ui/stopsignals.h"

#include "instrument/stopsignals.h"
#include "ui/mainwindow.h"

#include <QPointer>

#include <cstdio>
#include <cstdlib>

namespace hmx {

namespace {

extern "C" void EndAtExit()
{
    if (Form1)
        Form1->EndAtExit();
}

} // namespace

void CloseOnStopSignals(TForm1& window)
{
    RunOnStopSignals(&window, [target = QPointer<TForm1>(&window)] {
        if (target)
            target->CloseForStopSignal();
    });
}

void EndInOrderAtExit()
{
    std::atexit(EndAtExit);
}

void TellOnStandardError(const QString& notice)
{
    if (!notice.isEmpty())
        std::fprintf(stderr, "hmx700: %s\n", qPrintable(notice));
}

} // namespace hmx
