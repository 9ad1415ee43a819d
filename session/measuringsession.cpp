// Connecting, the measuring run and the orderly end of a session.
#include "session/measuringsession.h"

#include "instrument/connector.h"
#include "log/logfolderlock.h"
#include "log/measurementlog.h"
#include "publish/publisher.h"
#include "session/journalwords.h"
#include "session/sessiontexts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace hmx {

MeasuringSession::MeasuringSession(SessionOptions options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_files(m_options.folder)
    , m_journal(m_files.journal())
    , m_limits(Poller::ReadingsJoin)
{
    qRegisterMetaType<hmx::SessionReading>();
    qRegisterMetaType<hmx::ScanResult>();
    qRegisterMetaType<hmx::VersionInfo>();
    qRegisterMetaType<hmx::SettingsValues>();
    qRegisterMetaType<hmx::LogProblem>();
    qRegisterMetaType<hmx::limits::LimitEvent>();
    qRegisterMetaType<hmx::QuantityLimitEvents>();
    connect(&m_journal, &EventJournal::failed, this, &MeasuringSession::journalFailed);
    connect(&m_journal, &EventJournal::eventAdded, this, &MeasuringSession::publishEvent);
    // The journal of a folder another copy measures in is that copy's: this one's events
    // wait until it measures here itself.
    if (LogFolderLock::HeldNow(m_files.log()))
        m_journal.holdBack(true);
    m_journal.add(QStringLiteral("start"), {Detail(QStringLiteral("version"), QStringLiteral(HMX700_VERSION))});
    // Nothing is crossed before the first reading: these make no events.
    m_limits.setPreferences(m_options.limits, LimitWatches::Now());
}

MeasuringSession::~MeasuringSession()
{
    stop();
}

QString MeasuringSession::fallbackFolder() const
{
    if (!m_options.fallbackFolder.isEmpty())
        return m_options.fallbackFolder;
    return m_options.folder.isEmpty() ? QDir::currentPath() : m_options.folder;
}

bool MeasuringSession::takeLock()
{
    if (m_lock)
        return true;
    // One measuring copy per folder, window or recorder: taken before anything is renamed.
    auto lock = std::make_unique<LogFolderLock>(m_files.log());
    switch (lock->acquire()) {
    case LogFolderLock::Result::Held:
        m_lock = std::move(lock);
        m_journal.holdBack(false);
        return true;
    case LogFolderLock::Result::HeldByAnother:
        m_journal.holdBack(true);
        emit cannotMeasure(AnotherCopyText(lock->folder(), lock->otherProcess(), QFileInfo(m_files.log()).fileName(),
                                           m_options.language));
        return false;
    case LogFolderLock::Result::Failed:
        break;
    }
    LogProblem problem;
    problem.kind = LogProblem::Kind::Create;
    problem.file = m_files.lock();
    problem.reason = lock->reason();
    emit cannotMeasure(LogProblemText(problem, m_options.language));
    return false;
}

bool MeasuringSession::connectInstrument(const std::vector<std::string>& devices)
{
    if (m_stopped || m_poller || !takeLock())
        return false;
    m_pendingWrite.reset();
    if (m_options.publishFromStart && !m_publisher)
        startPublisher(std::nullopt);
    if (!m_connector) {
        m_connector = std::make_unique<Connector>();
        connect(m_connector.get(), &Connector::trying, this, &MeasuringSession::trying);
        connect(m_connector.get(), &Connector::scanned, this, &MeasuringSession::onScanned);
        connect(m_connector.get(), &Connector::instrumentRead, this, &MeasuringSession::onInstrumentRead);
    }
    m_connector->scan(devices);
    return true;
}

void MeasuringSession::onScanned(const ScanResult& scan)
{
    if (m_stopped || scan.stopped)
        return;
    if (scan.connected) {
        m_device = scan.portName;
        m_identification = scan.reply;
    }
    emit scanned(scan);
}

void MeasuringSession::readInstrument()
{
    if (!m_stopped && m_connector && !m_poller)
        m_connector->readInstrument(m_identification);
}

void MeasuringSession::abandonConnect()
{
    if (!m_poller)
        m_lock.reset();
}

void MeasuringSession::onInstrumentRead(const VersionInfo& version, bool settingsRead, const SettingsValues& settings)
{
    if (m_stopped)
        return;
    m_version = version;
    // Named first, so the journal's events go out under this unit's topic.
    if (m_publisher)
        m_publisher->setInstrument(version);
    m_journal.add(QStringLiteral("connect"),
                  {Detail(QStringLiteral("port"), QString::fromStdString(m_device)),
                   Detail(QStringLiteral("model"), QString::fromLatin1(m_identification.data(),
                                                                       qsizetype(m_identification.size()))),
                   Detail(QStringLiteral("version"), VersionText(version, m_options.language)),
                   Detail(QStringLiteral("serial"), QString::number(version.serialNumber))});
    if (settingsRead)
        noteSettings(QStringLiteral("settings-read"), settings);
    emit instrumentRead(version, settingsRead, settings);
    if (m_stopped)  // the front end may end at once
        return;

    auto log = std::make_unique<MeasurementLog>(m_files.log());
    if (!log->create()) {
        // Nothing is measured: the port and the folder go back, so a Connect after the
        // fault is mended works.
        m_connector->stop();
        m_lock.reset();
        emit cannotMeasure(LogProblemText(log->problem(), m_options.language));
        return;
    }
    m_log = std::move(log);
    startPoller();
    emit measuring(m_log->fileName(), m_log->keptAs());
}

void MeasuringSession::startPoller()
{
    // After an unplug only this unit may go on in this log.
    m_poller = std::make_unique<Poller>(*m_log, m_connector->takeLink(), m_version.serialNumber);
    m_poller->setDerived(m_options.derived);
    // A save made while connecting goes out in the first cycle.
    if (m_pendingWrite) {
        m_poller->requestSettingsWrite(*m_pendingWrite);
        m_pendingWrite.reset();
    }
    followPoller();
    if (!m_options.publishFromStart)
        startPublisher(m_version);
    if (m_publisher)
        m_publisher->follow(*m_poller);
    m_poller->start();
}

QString MeasuringSession::switchTo(const QString& device)
{
    if (m_stopped || !m_poller)
        return {};
    // As at every Connect: this run's log is closed and kept, the numbering starts again.
    const QString notice = endRun();
    m_log.reset();
    connectInstrument({device.toStdString()});
    return notice;
}

void MeasuringSession::requestSettingsRead()
{
    if (m_poller) {
        m_settingsReadAsked = true;
        m_poller->requestSettingsRead();
        return;
    }
    // Nothing connected: nothing to read from, no port touched.
    QMetaObject::invokeMethod(this, [this] { emit settingsRead(false, {}); }, Qt::QueuedConnection);
}

void MeasuringSession::requestSettingsWrite(const SettingsValues& values)
{
    if (m_poller)
        m_poller->requestSettingsWrite(values);
    else
        m_pendingWrite = values;  // goes out once measuring; a Connect started later drops it
    noteSettings(QStringLiteral("settings-saved"), values);
}

void MeasuringSession::setDerived(const DerivedChoice& choice)
{
    m_options.derived = choice;
    if (m_poller)
        m_poller->setDerived(choice);
}

QString MeasuringSession::endRun()
{
    if (m_poller) {
        m_poller->stop();
        // The last readings and what came with them are told before the run ends, in order.
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    }
    m_poller.reset();  // its link closes with it
    m_limits.interrupt();
    // A settings read not answered gets no answer now.
    if (m_settingsReadAsked) {
        m_settingsReadAsked = false;
        emit settingsRead(false, {});
    }
    if (!m_options.publishFromStart)
        stopPublisher();
    if (!m_log)
        return {};
    m_log->close();
    const qsizetype kept = qsizetype(m_log->pendingLineCount());
    if (kept == 0)
        return {};
    const QString savedAs = m_log->saveKeptLines(fallbackFolder());
    return savedAs.isEmpty() ? LogProblemText(m_log->problem(), m_options.language)
                             : UnsavedLinesText(m_log->fileName(), kept, QDir::toNativeSeparators(savedAs),
                                                m_options.language);
}

SessionEnd MeasuringSession::stop()
{
    if (m_stopped)
        return {};
    m_stopped = true;
    m_journal.add(QStringLiteral("stop"));
    // Events of a copy that never measured here stay out of the journal of the one that
    // does; with nobody measuring here now they are written after all.
    if (m_journal.heldBack()) {
        if (LogFolderLock::HeldNow(m_files.log()))
            m_journal.dropHeldBack();
        m_journal.holdBack(false);
    }
    // A connection under way goes first (closing a link it holds), then the Poller: the
    // log's only writer, whose link closes with it.
    if (m_connector)
        m_connector->stop();
    SessionEnd end;
    end.lines = endRun();
    stopPublisher();
    // Last, so every event of the end is in it.
    end.events = endJournal();
    m_lock.reset();
    return end;
}

} // namespace hmx
