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

// Opens a non-blocking critical message box titled with the application's display
// name and returns at once. Safe from any thread (the box is opened on the window
// thread). Returns the box when called on the window thread, else nullptr.
QMessageBox* ShowErrorReport(const QString& message);

// Reports the exception held by `error` (std::exception: its what(); anything else: a
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

// The program's application object: display name "HMX-700", and a last-resort catch
// for exceptions escaping an event handler that RunGuarded did not wrap.
class Application : public QApplication {
    Q_OBJECT
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace hmx
