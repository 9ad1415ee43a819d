// The program's entry: the window in the built language, then the event loop.
#include "ui/errorreport.h"
#include "ui/language.h"
#include "ui/mainwindow.h"

#include <memory>

int main(int argc, char** argv)
{
    hmx::Application app(argc, argv);

    auto window = std::make_unique<TForm1>();
    Form1 = window.get();
    // Before the first show, so an English build never shows the Polish texts.
    if (InterfaceLanguage != 0)
        Form1->ApplyEnglishTexts();
    Form1->show();

    const int result = app.exec();
    // The Poller must stop before the window and the log it uses are destroyed.
    Form1->Shutdown();
    window.reset();
    return result;
}
