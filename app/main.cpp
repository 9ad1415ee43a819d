// The program's entry: the window in the built language, then the event loop.
#include "ui/errorreport.h"
#include "ui/mainwindow.h"
#include "ui/stopsignals.h"

#include <cstdio>

int main(int argc, char** argv)
{
    hmx::Application app(argc, argv);

    std::unique_ptr<TForm1> window = CreateMainWindow();
    hmx::CloseOnStopSignals(*window);
    window->show();

    const int result = app.exec();
    // The Poller must stop before the window and the log it uses are destroyed.
    const QString notice = Form1->Shutdown();
    if (!notice.isEmpty())
        std::fprintf(stderr, "hmx700: %s\n", qPrintable(notice));
    window.reset();
    return result;
}
