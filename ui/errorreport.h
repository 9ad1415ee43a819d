// The default error report: an error that escapes a handler on the window thread is
// shown in an error message box and the program goes on.
#pragma once

#include <QApplication>
#include <QString>

#include <exception>
#include <utility>

class QMessageBox;

namespace hmx {

// The message as the report shows it: a full stop is added unless it already ends with one.
QString ErrorReportText(const QString& message);

// The title of every box the program shows.
QString ProgramTitle();

// Opens a critical message box titled "HMX-700" and returns at once. The box does not
// block the main window (closing it ends the program even while a box is open) and
// belongs to it (SetReportParent). A report with the same key as a box still open
// updates that box instead of stacking another: latest text and how often it came.
// The key defaults to the message. Safe from any thread (the box is opened on the
// window thread). Returns the box when called on the window thread, else nullptr.
QMessageBox* ShowErrorReport(const QString& message, const QString& key = {});

// The same with an information box: something the user should know that is no failure.
QMessageBox* ShowNotice(const QString& message, const QString& key = {});

// The window the reports belong to.
void SetReportParent(QWidget* window);

// Reports the exception held by `error` (std::exception: its what(), or for the
// program's own errors their text in the interface language; anything else: a
// generic text).
void ReportException(std::exception_ptr error);

// Runs a handler; whatever it throws is reported and swallowed, so no exception
// unwinds through Qt's frames.
template <class Handler>
void RunGuarded(Handler&& handler) noexcept
{
    try {
        std::forward<Handler>(handler)();
    } catch (...) {
        ReportException(std::current_exception());
    }
}

// Loads Qt's own texts (the standard buttons, the file dialog) in the interface language;
// without them they read in English.
void LoadQtTexts(QCoreApplication& app);

// The program's application object, with a last-resort catch for exceptions escaping
// an event handler that RunGuarded did not wrap. It sets no display name: the window
// system would append one to every box's caption.
class Application : public QApplication {
    Q_OBJECT
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace hmx
