#include "ui/errorreport.h"

#include <QMessageBox>
#include <QMetaObject>
#include <QPointer>
#include <QThread>

namespace hmx {

QString ErrorReportText(const QString& message)
{
    if (message.isEmpty() || message.endsWith(QLatin1Char('.')))
        return message;
    return message + QLatin1Char('.');
}

QMessageBox* ShowErrorReport(const QString& message)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return nullptr;
    if (QThread::currentThread() != app->thread()) {
        // Widgets belong to the window thread; hand the report over.
        QMetaObject::invokeMethod(app, [message] { ShowErrorReport(message); }, Qt::QueuedConnection);
        return nullptr;
    }
    auto* box = new QMessageBox(QMessageBox::Critical, QGuiApplication::applicationDisplayName(),
                                ErrorReportText(message), QMessageBox::Ok, QApplication::activeWindow());
    box->setObjectName(QStringLiteral("errorReport"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    // open(), not exec(): a nested event loop inside a handler would re-enter it.
    box->open();
    return box;
}

void ReportException(std::exception_ptr error)
{
    if (!error)
        return;
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        ShowErrorReport(QString::fromUtf8(e.what()));
    } catch (...) {
        ShowErrorReport(QStringLiteral("Unknown error"));
    }
}

Application::Application(int& argc, char** argv)
    : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("hmx700"));
    setApplicationDisplayName(QStringLiteral("HMX-700"));
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ReportException(std::current_exception());
        return false;
    }
}

} // namespace hmx
