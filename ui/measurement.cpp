// Connection, measuring and the orderly end: the handlers that find the instrument and
// start the Poller, and the slots that show what the Poller hands over.
#include "ui/mainwindow.h"

#include "instrument/connector.h"
#include "instrument/linkworker.h"
#include "instrument/poller.h"
#include "instrument/settings.h"
#include "log/logfolderlock.h"
#include "log/eventjournal.h"
#include "log/measurementlog.h"
#include "readings/lines.h"
#include "ui/alarmpanel.h"
#include "ui/derivedpanel.h"
#include "ui/errorreport.h"
#include "ui/fieldtext.h"
#include "ui/journalevents.h"
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

// Silence for longer than this many cycles makes the shown values old.
constexpr int SilentCyclesStillLive = 3;

// The end of the journal: a last try to write the events kept back, then what is still
// kept goes where the log's unsaved lines go. Says where, or why nowhere; empty when
// nothing was kept.
QString EndJournal(EventJournal& journal)
{
    if (journal.retry())
        return {};
    const qsizetype kept = qsizetype(journal.pendingCount());
    const QString savedAs = journal.saveKeptEvents(QDir::homePath());
    return UnsavedEventsText(journal.fileName(), kept, QDir::toNativeSeparators(savedAs), journal.problem().reason);
}

// Both notices of the end, one sentence each.
QString BothNotices(const QString& first, const QString& second)
{
    if (first.isEmpty() || second.isEmpty())
        return first + second;
    return ErrorReportText(first) + QLatin1Char('\n') + second;
}

} // namespace

void TForm1::ConnectClick()
{
    if (!Connect->isEnabled())
        return;
    // Another copy measuring in this folder keeps its log: nothing is scanned, renamed
    // or created, and the button stays as it was.
    if (!m_folderLock) {
        auto lock = std::make_unique<LogFolderLock>(QStringLiteral("jrt1.txt"));
        const LogFolderLock::Result locked = lock->acquire();
        if (locked == LogFolderLock::Result::HeldByAnother) {
            ShowErrorReport(AnotherCopyText(lock->folder(), lock->otherProcess()));
            return;
        }
        if (locked == LogFolderLock::Result::Failed) {
            LogProblem problem;
            problem.kind = LogProblem::Kind::Create;
            problem.file = QStringLiteral("jrt1.txt.lock");
            problem.reason = lock->reason();
            ShowErrorReport(LogProblemText(problem));
            return;
        }
        m_folderLock = std::move(lock);
    }
    startConnecting({});
}

void TForm1::startConnecting(const std::vector<std::string>& devices)
{
    // A save requested before connecting is dropped.
    m_settings.clearWriteRequest();
    Connect->setEnabled(false);
    Connect->setText(ByLanguage("Szukam…", "Searching…"));
    if (!m_connector) {
        m_connector = std::make_unique<Connector>();
        connect(m_connector.get(), &Connector::trying, this, &TForm1::showTrying);
        connect(m_connector.get(), &Connector::scanned, this, &TForm1::scanFinished);
        connect(m_connector.get(), &Connector::instrumentRead, this, &TForm1::instrumentRead);
    }
    m_connector->scan(devices);
}

void TForm1::showTrying(int, const QString& device)
{
    if (!m_shutDown && !m_poller)
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
    m_device = scan.portName;
    m_model = QString::fromLatin1(scan.reply.data(), qsizetype(scan.reply.size()));

    // The reads go on once the user has closed the box, as the connection always did.
    auto* found = new QMessageBox(QMessageBox::NoIcon, ByLanguage("Identyfikator urzadzenia  :", "Found device  :"),
                                  QString::fromLatin1(scan.reply.data(), qsizetype(scan.reply.size())),
                                  QMessageBox::Ok, this);
    found->setObjectName(QStringLiteral("identification"));
    found->setAttribute(Qt::WA_DeleteOnClose);
    const std::string reply = scan.reply;
    connect(found, &QDialog::finished, this, [this, reply] {
        if (!m_shutDown)
            m_connector->readInstrument(reply);
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
    m_journal->add(QStringLiteral("connect"), {Detail(QStringLiteral("port"), QString::fromStdString(m_device)),
                                               Detail(QStringLiteral("model"), m_model),
                                               Detail(QStringLiteral("version"), Label16->text()),
                                               Detail(QStringLiteral("serial"), QString::number(version.serialNumber))});
    if (settingsRead)
        ShowSettings(settings);
    else
        Label9->setText(QStringLiteral("Brak komunikacji !"));

    auto log = std::make_unique<MeasurementLog>(QStringLiteral("jrt1.txt"));
    if (!log->create()) {
        // Nothing is measured: the port goes back, so a Connect after the fault is mended works.
        m_connector->stop();
        connectFailed();
        ShowErrorReport(LogProblemText(log->problem()));
        return;
    }
    m_log = std::move(log);
    m_chartSource = m_log->fileName();

    m_poller = std::make_unique<Poller>(*m_log, m_connector->takeLink(), m_serialNumber);
    // A save made while connecting goes out in the first cycle.
    if (m_settings.writePending()) {
        m_settings.clearWriteRequest();
        m_poller->requestSettingsWrite(m_settings.values());
    }
    connect(m_poller.get(), &Poller::readingArrived, this, &TForm1::showReading);
    connect(m_poller.get(), &Poller::noReply, this, &TForm1::showNoReply);
    connect(m_poller.get(), &Poller::settingsConfirmed, this, &TForm1::showSettingsConfirmed);
    connect(m_poller.get(), &Poller::settingsRead, this, &TForm1::settingsLoaded);
    connect(m_poller.get(), &Poller::logFailed, this, &TForm1::showLogError);
    connect(m_poller.get(), &Poller::logWorks, this, &TForm1::showLogWorks);
    connect(m_poller.get(), &Poller::logRecreated, this, &TForm1::showLogRecreated);
    connect(m_poller.get(), &Poller::linesDropped, this, &TForm1::showLinesDropped);
    connect(m_poller.get(), &Poller::replyRejected, this, &TForm1::showRejected);
    connect(m_poller.get(), &Poller::instrumentLost, this, &TForm1::showInstrumentLost);
    connect(m_poller.get(), &Poller::instrumentBack, this, &TForm1::showInstrumentBack);
    startPublishing(version);
    connect(m_poller.get(), &Poller::otherInstrumentFound, this, &TForm1::showOtherInstrument);
    m_poller->start();
    // exit() now stops this Poller before anything it uses is destroyed.
    EndInOrderAtExit();

    Connect->setText(MeasuringCaption());
}

void TForm1::connectFailed()
{
    m_folderLock.reset();  // another copy may measure here instead
    Connect->setText(ConnectCaption());
    Connect->setEnabled(true);
}

void TForm1::showReading(const Reading& reading)
{
    ShowWhole(*Edit20, reading.dewPointText);
    ShowWhole(*Edit6, reading.humidityText);
    ShowWhole(*Edit14, reading.ambientText);
    Label35->setText(reading.operatingTimeText);
    // After a loaded log the lines join live readings again only ten cycles apart.
    using humidity::Quantity;
    for (const Quantity q : {Quantity::DewPoint, Quantity::RelativeHumidity, Quantity::Temperature})
        m_lines->line(q)->setJoiningDistance(readings::LiveJoiningDistance);
    m_lines->add(Quantity::DewPoint, reading.dewPointX, reading.dewPoint / 10.0);
    m_lines->add(Quantity::RelativeHumidity, reading.humidityX, reading.humidity / 10.0);
    m_lines->add(Quantity::Temperature, reading.ambientX, reading.ambient / 10.0);
    m_derived->showReading(reading);
    m_silentCycles = 0;
    m_lastReadingTime = QTime::currentTime();
    showValuesOld(false);
    if (reading.number == 1)
        EndInOrderAtExit();  // again, now that the measuring path has made what it uses
    const limits::Millis now = AlarmPanel::Now();
    m_alarms->observe(limits::QuantityId::DewPoint, reading.dewPoint / 10.0, now);
    m_alarms->observe(limits::QuantityId::Humidity, reading.humidity / 10.0, now);
    m_alarms->observe(limits::QuantityId::Ambient, reading.ambient / 10.0, now);
    // Events kept back by a journal that could not be written go out as soon as it can.
    if (m_journal->pendingCount() > 0)
        m_journal->retry();
}

void TForm1::showNoReply()
{
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
    // Edit20 says "Error" instead.
    m_alarms->setValueOld(limits::QuantityId::Humidity, old);
    m_alarms->setValueOld(limits::QuantityId::Ambient, old);
    if (m_derived)
        m_derived->setOld(old);
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
    m_journal->add(QStringLiteral("log-failed"), LogProblemDetails(problem));
    ShowErrorReport(LogProblemText(problem), QStringLiteral("log"));
}

void TForm1::showLogWorks()
{
    m_logFailing = false;
    updateStatus();
    m_journal->add(QStringLiteral("log-works"), {Detail(QStringLiteral("file"), m_log ? m_log->fileName() : QString())});
}

void TForm1::showLogRecreated(const LogProblem& problem)
{
    ShowNotice(LogProblemText(problem), QStringLiteral("log"));
}

void TForm1::showLinesDropped(quint64 total)
{
    ShowErrorReport(LinesDroppedText(m_log ? m_log->fileName() : QString(), total), QStringLiteral("dropped"));
}

void TForm1::showRejected(quint64 total)
{
    m_rejected = total;
    updateStatus();
}

void TForm1::showInstrumentLost()
{
    m_lostSince = QDateTime::currentDateTime();
    m_journal->add(QStringLiteral("instrument-lost"), {Detail(QStringLiteral("port"), QString::fromStdString(m_device))},
                   m_lostSince);
    Connect->setText(ByLanguage("Szukam\nurządzenia…", "Searching\nfor the\ninstrument…"));
    showValuesOld(true);
    m_alarms->readingsInterrupted();
    publishInstrumentStatus(false);
}

void TForm1::showInstrumentBack(const QString& device)
{
    const QDateTime now = QDateTime::currentDateTime();
    const qint64 lostMs = m_lostSince.isValid() ? m_lostSince.msecsTo(now) : 0;
    m_lostSince = {};
    m_journal->add(QStringLiteral("instrument-back"), {Detail(QStringLiteral("port"), device),
                                                       Detail(QStringLiteral("lostSeconds"), JournalNumber(lostMs / 1000.0))},
                   now);
    Connect->setText(MeasuringCaption());
    publishInstrumentStatus(true);
    if (m_otherUnitBox)
        m_otherUnitBox->close();
}

void TForm1::showOtherInstrument(const QString& device, quint16 serialNumber)
{
    if (m_shutDown || !m_poller)
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
    if (m_shutDown || !m_poller)
        return;
    // As at every Connect: this run's log is closed and kept, the numbering starts again.
    const QString notice = endRun();
    if (!notice.isEmpty())
        ShowErrorReport(notice);
    m_log.reset();
    Connect->setEnabled(true);
    startConnecting({device.toStdString()});
}

void TForm1::updateStatus()
{
    QStringList lines;
    if (m_valuesOld)
        lines << ByLanguage("Wartości z %1 – urządzenie nie odpowiada.", "Values from %1 – the instrument does not answer.")
                     .arg(LongTimeText(m_lastReadingTime));
    if (m_logFailing && m_log)
        lines << ByLanguage("Nie można zapisać %1 – odczyty czekają w pamięci.",
                            "Cannot write %1 – readings are kept in memory.")
                     .arg(m_log->fileName());
    if (m_rejected > 0)
        lines << ByLanguage("Odrzucone odpowiedzi urządzenia: %1", "Replies rejected: %1").arg(m_rejected);
    if (!m_publishStatus.isEmpty())
        lines << m_publishStatus;
    Label36->setText(lines.join(QLatin1Char('\n')));
}

QString TForm1::endRun()
{
    if (m_poller)
        m_poller->stop();
    m_poller.reset();  // its link closes with it
    if (m_alarms)
        m_alarms->readingsInterrupted();
    // A settings read it had not answered gets no answer now.
    if (m_settingsReadAsked)
        settingsLoaded(false, {});
    stopPublishing();
    if (!m_log)
        return {};
    m_log->close();
    const qsizetype kept = qsizetype(m_log->pendingLineCount());
    if (kept == 0)
        return {};
    const QString savedAs = m_log->saveKeptLines(QDir::homePath());
    return savedAs.isEmpty() ? LogProblemText(m_log->problem())
                             : UnsavedLinesText(m_log->fileName(), kept, QDir::toNativeSeparators(savedAs));
}

QString TForm1::Shutdown()
{
    if (m_shutDown)
        return {};
    m_shutDown = true;
    m_journal->add(QStringLiteral("stop"));
    // A connection under way goes first (closing a link it holds), then the Poller:
    // the log's only writer, whose link closes with it.
    if (m_connector)
        m_connector->stop();
    const QString notice = endRun();
    // Last, so every event of the end is in it.
    const QString events = EndJournal(*m_journal);
    m_folderLock.reset();
    return BothNotices(notice, events);
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
    TellOnStandardError(Shutdown());
}

void TForm1::closeEvent(QCloseEvent* event)
{
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
