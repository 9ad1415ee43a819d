// The program's entry: the window in the built language, then the event loop.
#include "ui/errorreport.h"
#include "ui/mainwindow.h"
#include "ui/stopsignals.h"

int main(int argc, char** argv)
{
    hmx::Application app(argc, argv);

    std::unique_ptr<TForm1> window = CreateMainWindow();
    hmx::CloseOnStopSignals(*window);
    hmx::EndInOrderAtExit();
    window->show();

    const int result = app.exec();
    // The Poller must stop before the window and the log it uses are destroyed.
    hmx::TellOnStandardError(Form1->Shutdown());
    window.reset();
    return result;
}
