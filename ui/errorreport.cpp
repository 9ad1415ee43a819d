#include "ui/errorreport.h"

#include "instrument/settings.h"
#include "ui/language.h"

#include <QHash>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QMetaObject>
#include <QPointer>
#include <QThread>
#include <QTranslator>

namespace hmx {

namespace {

QPointer<QWidget>& ReportParent()
{
    static QPointer<QWidget> parent;
    return parent;
}

// Boxes still open, by key, and how often each key came while its box was open.
struct OpenReport {
    QPointer<QMessageBox> box;
    int count = 0;
};

QHash<QString, OpenReport>& OpenReports()
{
    static QHash<QString, OpenReport> reports;
    return reports;
}

QString ConversionErrorText(const ConversionError& e)
{
    if (e.kind() == ConversionError::Kind::Range)
        return ByLanguage("'%1' jest poza dozwolonym zakresem od %2 do %3", "'%1' is outside the allowed range %2 to %3")
            .arg(e.text(), e.low(), e.high());
    return QString::fromUtf8(e.what());
}

} // namespace

QString ProgramTitle()
{
    return QStringLiteral("HMX-700");
}

void SetReportParent(QWidget* window)
{
    ReportParent() = window;
}

void LoadQtTexts(QCoreApplication& app)
{
    if (InterfaceLanguage != 0)
        return;  // Qt's own texts are English
    // Qt's place for them (Debian's qt6-translations-l10n), else the folder beside the
    // program, as the Windows release lays them out.
    auto* texts = new QTranslator(&app);
    const QString name = QStringLiteral("qtbase_pl");
    if (texts->load(name, QLibraryInfo::path(QLibraryInfo::TranslationsPath))
        || texts->load(name, QCoreApplication::applicationDirPath() + QStringLiteral("/translations")))
        app.installTranslator(texts);
    else
        delete texts;
}

QString ErrorReportText(const QString& message)
{
    if (message.isEmpty() || message.endsWith(QLatin1Char('.')))
        return message;
    return message + QLatin1Char('.');
}

namespace {

QMessageBox* ShowReport(QMessageBox::Icon icon, const QString& message, const QString& key)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return nullptr;
    if (QThread::currentThread() != app->thread()) {
        // Widgets belong to the window thread; hand the report over.
        QMetaObject::invokeMethod(app, [icon, message, key] { ShowReport(icon, message, key); }, Qt::QueuedConnection);
        return nullptr;
    }
    OpenReport& report = OpenReports()[key.isEmpty() ? message : key];
    if (report.box && report.box->isVisible()) {
        ++report.count;
        report.box->setText(ErrorReportText(message) + QStringLiteral("\n\n")
                            + ByLanguage("(powtórzyło się %1 razy)", "(this happened %1 times)").arg(report.count));
        return report.box;
    }
    QWidget* parent = ReportParent() ? ReportParent().data() : QApplication::activeWindow();
    auto* box = new QMessageBox(icon, ProgramTitle(), ErrorReportText(message), QMessageBox::Ok, parent);
    box->setObjectName(QStringLiteral("errorReport"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    // Not modal: a box must never keep the main window from closing, nor may a nested
    // event loop re-enter the handler that reported.
    box->setWindowModality(Qt::NonModal);
    box->show();
    report = {box, 1};
    return box;
}

} // namespace

QMessageBox* ShowErrorReport(const QString& message, const QString& key)
{
    return ShowReport(QMessageBox::Critical, message, key);
}

QMessageBox* ShowNotice(const QString& message, const QString& key)
{
    return ShowReport(QMessageBox::Information, message, key);
}

void ReportException(std::exception_ptr error)
{
    if (!error)
        return;
    try {
        std::rethrow_exception(error);
    } catch (const ConversionError& e) {
        ShowErrorReport(ConversionErrorText(e));
    } catch (const std::exception& e) {
        ShowErrorReport(QString::fromUtf8(e.what()));
    } catch (...) {
        ShowErrorReport(ByLanguage("Nieznany błąd", "Unknown error"));
    }
}

Application::Application(int& argc, char** argv)
    : QApplication(argc, argv)
{
    // Both names: without an organisation Windows keeps no preferences at all.
    setOrganizationName(QStringLiteral("hmx700"));
    setApplicationName(QStringLiteral("hmx700"));
    LoadQtTexts(*this);
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
