// Connection, measuring and the orderly end: the window's view of its measuring session.
// The session finds the instrument, measures, watches the limits and keeps the journal;
// the handlers here ask it for things and show what it tells.
#include "ui/mainwindow.h"

#include "publish/publisher.h"
#include "session/measuringsession.h"
#include "ui/alarmpanel.h"
#include "ui/derivedpanel.h"
#include "ui/errorreport.h"
#include "ui/fieldlook.h"
#include "ui/fieldtext.h"
#include "ui/instruments.h"
#include "ui/language.h"
#include "ui/messages.h"
#include "ui/stopsignals.h"

#include <QCloseEvent>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QThread>

using namespace hmx;

namespace {

QString ConnectCaption()
{
    return ByLanguage("Połącz", "Connect");
}

QString MeasuringCaption()
{
    return ByLanguage("Pomiar trwa", "Measuring");
}

QString SearchingCaption()
{
    return ByLanguage("Szukam…", "Searching…");
}

// Both notices of the end, one sentence each.
QString BothNotices(const QString& first, const QString& second)
{
    if (first.isEmpty() || second.isEmpty())
        return first + second;
    return ErrorReportText(first) + QLatin1Char('\n') + second;
}

} // namespace

void TForm1::setUpSession()
{
    SessionOptions options;
    options.language = WindowLanguage;
    // Lines and events no file would take go to the home folder at the end.
    options.fallbackFolder = QDir::homePath();
    options.derived = m_instruments->firstDerived();
    m_session = m_instruments->addFirst(options, *m_lines);
    MeasuringSession* s = m_session;
    s->setLines(m_lines);  // Chart1's
    connect(s, &MeasuringSession::trying, this, &TForm1::showTrying);
    connect(s, &MeasuringSession::scanned, this, &TForm1::scanFinished);
    connect(s, &MeasuringSession::instrumentRead, this, &TForm1::instrumentRead);
    connect(s, &MeasuringSession::measuring, this, &TForm1::startedMeasuring);
    connect(s, &MeasuringSession::cannotMeasure, this, &TForm1::cannotMeasure);
    connect(s, &MeasuringSession::reading, this, &TForm1::showReading);
    connect(s, &MeasuringSession::noReply, this, &TForm1::showNoReply);
    connect(s, &MeasuringSession::settingsConfirmed, this, &TForm1::showSettingsConfirmed);
    connect(s, &MeasuringSession::settingsRead, this, &TForm1::settingsLoaded);
    connect(s, &MeasuringSession::logFailed, this, &TForm1::showLogError);
    connect(s, &MeasuringSession::logWorks, this, &TForm1::showLogWorks);
    connect(s, &MeasuringSession::logRecreated, this, &TForm1::showLogRecreated);
    connect(s, &MeasuringSession::linesDropped, this, &TForm1::showLinesDropped);
    connect(s, &MeasuringSession::replyRejected, this, &TForm1::showRejected);
    connect(s, &MeasuringSession::lost, this, &TForm1::showInstrumentLost);
    connect(s, &MeasuringSession::back, this, &TForm1::showInstrumentBack);
    connect(s, &MeasuringSession::otherUnit, this, &TForm1::showOtherInstrument);
    // One message per run of failures, as for the log; the events wait in memory.
    connect(s, &MeasuringSession::journalFailed, this, [](const LogProblem& problem) {
        ShowErrorReport(LogProblemText(problem), QStringLiteral("journal"));
    });
    connect(s, &MeasuringSession::publishState, this, [this](const PublishState& state) {
        // Stopped is no news on the status line: the measuring has ended.
        m_publishStatus = state.link == PublishState::Link::Off ? QString() : m_session->publishStateText(state);
        updateStatus();
    });
}

hmx::Poller* TForm1::poller() const
{
    return m_session->poller();
}

hmx::Publisher* TForm1::publisher() const
{
    return m_session->publisher();
}

hmx::EventJournal* TForm1::journal() const
{
    return &m_session->journal();
}

void TForm1::ConnectClick()
{
    if (!Connect->isEnabled())
        return;
    startConnecting({});
}

void TForm1::startConnecting(const std::vector<std::string>& devices)
{
    // Another copy measuring in this folder keeps its log: nothing is scanned, renamed
    // or created, the session says why, and the button stays as it was.
    if (!m_session->connectInstrument(devices))
        return;
    searching();
}

void TForm1::searching()
{
    // The session has dropped a save requested before connecting.
    m_settings.clearWriteRequest();
    // The publisher made once the instrument answers takes the preferences as they are now.
    applyPublishPreferences();
    Connect->setEnabled(false);
    Connect->setText(SearchingCaption());
}

void TForm1::showTrying(int, const QString& device)
{
    if (!m_shutDown && !m_session->poller())
    {
        // A long name loses its middle, so its end, which tells devices apart, stays.
        const int room = Connect->contentsRect().width() - 2 * Connect->style()->pixelMetric(QStyle::PM_ButtonMargin);
        const QString name = Connect->fontMetrics().elidedText(ShortDeviceName(device), Qt::ElideMiddle, room);
        Connect->setText(ByLanguage("Szukam…\n%1", "Trying\n%1").arg(name));
    }
}

void TForm1::scanFinished(const ScanResult& scan)
{
    if (m_shutDown || scan.stopped)
        return;
    if (!scan.connected) {
        Label9->setText(ByLanguage("Urządzenie nie odpowiada !", "Device not found !"));
        connectFailed();
        ShowErrorReport(NoInstrumentText(scan));
        return;
    }
    m_model = QString::fromLatin1(scan.reply.data(), qsizetype(scan.reply.size()));

    // The reads go on once the user has closed the box, as the connection always did.
    auto* found = new QMessageBox(QMessageBox::NoIcon, ByLanguage("Identyfikator urzadzenia  :", "Found device  :"),
                                  QString::fromLatin1(scan.reply.data(), qsizetype(scan.reply.size())),
                                  QMessageBox::Ok, this);
    found->setObjectName(QStringLiteral("identification"));
    found->setAttribute(Qt::WA_DeleteOnClose);
    connect(found, &QDialog::finished, this, [this] {
        if (!m_shutDown)
            m_session->readInstrument();
    });
    found->open();
}

void TForm1::instrumentRead(const VersionInfo& version, bool settingsRead, const SettingsValues& settings)
{
    if (m_shutDown)
        return;
    Label16->setText(ByLanguage("KVT-10 wersja: %1 rewizja: %2 numer seyjny: %3",
                                "KVT-10 version: %1 rev.: %2 serial number: %3")
                         .arg(version.version)
                         .arg(version.revision)
                         .arg(version.serialNumber));
    m_serialNumber = version.serialNumber;
    m_firmware = ByLanguage("%1, rewizja %2", "%1, revision %2").arg(version.version).arg(version.revision);
    if (settingsRead)
        ShowSettings(settings);
    else
        Label9->setText(QStringLiteral("Brak komunikacji !"));
}

void TForm1::startedMeasuring(const QString& logFile)
{
    m_chartSource = logFile;
    // A save made while connecting went to the Poller, which writes it in the first cycle.
    m_settings.clearWriteRequest();
    readBrokerPassword();
    // exit() now stops this Poller before anything it uses is destroyed.
    EndInOrderAtExit();

    Connect->setText(MeasuringCaption());
}

void TForm1::cannotMeasure(const QString& why)
{
    // A Connect under way ends; the port and the folder went back, so a Connect after the
    // fault is mended works.
    if (!Connect->isEnabled())
        showConnectable();
    ShowErrorReport(why);
}

void TForm1::connectFailed()
{
    m_session->abandonConnect();  // another copy may measure here instead
    showConnectable();
}

void TForm1::showConnectable()
{
    Connect->setText(ConnectCaption());
    Connect->setEnabled(true);
}

void TForm1::showReading(const SessionReading& shown)
{
    // The session has watched its limits already: the alarm panel shows what it found.
    const Reading& reading = shown.reading;
    // Another instrument chosen on the overview has the fields meanwhile.
    if (m_instruments->showsFirst()) {
        ShowWhole(*Edit20, reading.dewPointText);
        ShowWhole(*Edit6, reading.humidityText);
        ShowWhole(*Edit14, reading.ambientText);
        Label35->setText(reading.operatingTimeText);
        m_derived->showReading(reading);
    }
    m_silentCycles = 0;
    m_lastReadingTime = QTime::currentTime();
    showValuesOld(false);
    if (reading.number == 1)
        EndInOrderAtExit();  // again, now that the measuring path has made what it uses
}

void TForm1::showNoReply()
{
    if (m_instruments->showsFirst())
        ShowWhole(*Edit20, QStringLiteral("Error"));
    if (++m_silentCycles > SilentCyclesStillLive)
        showValuesOld(true);
}

void TForm1::showValuesOld(bool old)
{
    old = old && m_lastReadingTime.isValid();
    if (old == m_valuesOld)
        return;
    m_valuesOld = old;
    // Edit20 says "Error" instead. Another instrument shown has the fields meanwhile.
    if (m_instruments->showsFirst()) {
        m_alarms->setValueOld(limits::QuantityId::Humidity, old);
        m_alarms->setValueOld(limits::QuantityId::Ambient, old);
        if (m_derived)
            m_derived->setOld(old);
    }
    updateStatus();
}

void TForm1::showSettingsConfirmed()
{
    Label9->setText(QStringLiteral("Zapisano!"));
}

void TForm1::showLogError(const LogProblem& problem)
{
    m_logFailing = true;
    updateStatus();
    ShowErrorReport(LogProblemText(problem), QStringLiteral("log"));
}

void TForm1::showLogWorks()
{
    m_logFailing = false;
    updateStatus();
}

void TForm1::showLogRecreated(const LogProblem& problem)
{
    ShowNotice(LogProblemText(problem), QStringLiteral("log"));
}

void TForm1::showLinesDropped(quint64 total)
{
    ShowErrorReport(LinesDroppedText(m_session->log() ? m_session->log()->fileName() : QString(), total), QStringLiteral("dropped"));
}

void TForm1::showRejected(quint64 total)
{
    m_rejected = total;
    updateStatus();
}

void TForm1::showInstrumentLost()
{
    Connect->setText(ByLanguage("Szukam\nurządzenia…", "Searching\nfor the\ninstrument…"));
    showValuesOld(true);
}

void TForm1::showInstrumentBack()
{
    Connect->setText(MeasuringCaption());
    if (m_otherUnitBox)
        m_otherUnitBox->close();
}

void TForm1::showOtherInstrument(const QString& device, quint16 serialNumber)
{
    if (m_shutDown || !m_session->poller())
        return;
    if (m_otherUnitBox)
        m_otherUnitBox->close();
    // Not modal: the search goes on while the user thinks it over.
    auto* box = new QMessageBox(QMessageBox::Question, ProgramTitle(),
                                OtherInstrumentText(device, serialNumber, m_serialNumber), QMessageBox::NoButton, this);
    box->setObjectName(QStringLiteral("otherInstrument"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->addButton(ByLanguage("Szukaj dalej", "Keep searching"), QMessageBox::RejectRole);
    QPushButton* switchButton = box->addButton(ByLanguage("Przełącz", "Switch"), QMessageBox::AcceptRole);
    switchButton->setObjectName(QStringLiteral("switchInstrument"));
    connect(switchButton, &QPushButton::clicked, this, [this, device] { switchTo(device); });
    m_otherUnitBox = box;
    box->show();
}

void TForm1::switchTo(const QString& device)
{
    if (m_shutDown || !m_session->poller())
        return;
    // As at every Connect: this run's log is closed and kept, the numbering starts again.
    const QString notice = m_session->switchTo(device);
    if (!notice.isEmpty())
        ShowErrorReport(notice);
    searching();
}

void TForm1::updateStatus()
{
    if (!m_instruments->showsFirst())
        return;  // the chosen instrument's status is shown instead
    QStringList lines;
    if (m_valuesOld)
        lines << ByLanguage("Wartości z %1 – urządzenie nie odpowiada.", "Values from %1 – the instrument does not answer.")
                     .arg(LongTimeText(m_lastReadingTime));
    if (m_logFailing && m_session->log())
        lines << ByLanguage("Nie można zapisać %1 – odczyty czekają w pamięci.",
                            "Cannot write %1 – readings are kept in memory.")
                     .arg(m_session->log()->fileName());
    if (m_rejected > 0)
        lines << ByLanguage("Odrzucone odpowiedzi urządzenia: %1", "Replies rejected: %1").arg(m_rejected);
    if (!m_publishStatus.isEmpty())
        lines << m_publishStatus;
    Label36->setText(lines.join(QLatin1Char('\n')));
}

QString TForm1::Shutdown()
{
    if (m_shutDown)
        return {};
    m_shutDown = true;
    const QString added = m_instruments->end();
    // The connection, the Poller, the log, the publisher, then the journal's last events.
    const SessionEnd end = m_session->stop();
    return BothNotices(BothNotices(end.lines, end.events), added);
}

void TForm1::CloseForStopSignal()
{
    m_closingForSignal = true;
    // The end runs here and now: close() would be ignored while a box's nested event
    // loop runs (the box that says where held lines went, for one).
    TellOnStandardError(Shutdown());
    close();
    // Every running event loop ends, nested ones included, and none starts again.
    if (QThread::currentThread()->loopLevel() > 0)
        QCoreApplication::exit(0);
}

void TForm1::EndAtExit()
{
    // What the session tells while it ends reaches no widget now.
    m_session->disconnect();
    TellOnStandardError(Shutdown());
}

void TForm1::closeEvent(QCloseEvent* event)
{
    m_instruments->keepForNextStart();
    const QString notice = Shutdown();
    // On standard error at every end, before any box: it stays there however the box
    // ends (a stop signal, the display server gone).
    TellOnStandardError(notice);
    if (!notice.isEmpty() && !m_closingForSignal) {
        // Said before the window goes, so the user knows where the readings are.
        QMessageBox box(QMessageBox::Warning, ProgramTitle(), ErrorReportText(notice), QMessageBox::Ok, this);
        box.setObjectName(QStringLiteral("unsavedLines"));
        box.exec();
    }
    event->accept();
}
