#include "logger/recorder.h"

#include "instrument/connector.h"
#include "instrument/poller.h"
#include "log/logfolderlock.h"
#include "log/measurementlog.h"
#include "publish/publisher.h"

#include <QDir>

#include <cstdio>

namespace hmx {

namespace {

void Say(const QString& text)
{
    std::fprintf(stderr, "hmx700-logger: %s\n", qPrintable(text));
    std::fflush(stderr);
}

QString LogProblemWords(const LogProblem& p)
{
    const QString reason = p.reason.isEmpty() ? QStringLiteral("in use by another program") : p.reason;
    switch (p.kind) {
    case LogProblem::Kind::Create:
        return QStringLiteral("cannot create %1: %2").arg(p.file, reason);
    case LogProblem::Kind::KeepEarlier:
        return QStringLiteral("cannot rename the earlier %1 to %2: %3").arg(p.file, p.other, reason);
    case LogProblem::Kind::Open:
        return QStringLiteral("cannot open %1 for appending: %2; readings are kept in memory").arg(p.file, reason);
    case LogProblem::Kind::Write:
        return QStringLiteral("cannot write to %1: %2; readings are kept in memory").arg(p.file, reason);
    case LogProblem::Kind::Recreated:
        return QStringLiteral("%1 had gone and was created again").arg(p.file);
    case LogProblem::Kind::NotRegular:
        return QStringLiteral("%1 is not a regular file; the log is written only to a regular file").arg(p.file);
    case LogProblem::Kind::Unsaved:
        return QStringLiteral("cannot save the readings kept for %1: %2").arg(p.file, reason);
    case LogProblem::Kind::None:
        break;
    }
    return {};
}

} // namespace

Recorder::Recorder(LoggerOptions options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
{
    m_rescan.setSingleShot(true);
    m_rescan.setInterval(std::chrono::milliseconds(Poller::RescanInterval));
    connect(&m_rescan, &QTimer::timeout, this, &Recorder::start);
}

Recorder::~Recorder()
{
    stop();
}

QString Recorder::logPath(const QString& name) const
{
    return m_options.dir.isEmpty() ? name : QDir(m_options.dir).filePath(name);
}

void Recorder::start()
{
    if (m_stopped)
        return;
    // One measuring copy per folder, window or recorder: taken before anything is renamed.
    if (!m_folderLock) {
        auto lock = std::make_unique<LogFolderLock>(logPath(QStringLiteral("jrt1.txt")));
        const LogFolderLock::Result locked = lock->acquire();
        if (locked != LogFolderLock::Result::Held) {
            Say(locked == LogFolderLock::Result::HeldByAnother
                    ? QStringLiteral("another copy (process %1) measures in %2; one copy per folder")
                          .arg(lock->otherProcess() ? QString::number(lock->otherProcess()) : QStringLiteral("?"),
                               lock->folder())
                    : QStringLiteral("cannot lock the log in %1: %2").arg(lock->folder(), lock->reason()));
            QMetaObject::invokeMethod(this, &Recorder::failed, Qt::QueuedConnection);
            return;
        }
        m_folderLock = std::move(lock);
    }
    // What an earlier run queued goes to the broker at once, whatever the instrument does.
    if (m_options.publish.enabled && !m_publisher)
        startPublishing();
    if (!m_options.port.isEmpty())
        qputenv("HMX700_PORTS", m_options.port.toLocal8Bit());
    if (!m_connector) {
        m_connector = std::make_unique<Connector>();
        connect(m_connector.get(), &Connector::scanned, this, &Recorder::scanned);
        connect(m_connector.get(), &Connector::instrumentRead, this, &Recorder::instrumentRead);
    }
    m_connector->scan();
}

void Recorder::scanned(const ScanResult& scan)
{
    if (m_stopped || scan.stopped)
        return;
    if (!scan.connected) {
        if (!m_toldNotFound) {
            QString where;
            for (const std::string& d : scan.denied)
                where += QStringLiteral(" %1 (permission denied)").arg(QString::fromStdString(d));
            Say(QStringLiteral("no instrument answers;%1 looking again every %2 s")
                    .arg(where.isEmpty() ? QString() : where + QLatin1Char(';'))
                    .arg(Poller::RescanInterval.count()));
            m_toldNotFound = true;
        }
        m_rescan.start();
        return;
    }
    m_device = scan.portName;
    Say(QStringLiteral("instrument %1 on %2").arg(QString::fromStdString(scan.reply), QString::fromStdString(m_device)));
    m_connector->readInstrument(scan.reply);
}

void Recorder::instrumentRead(const VersionInfo& version, bool settingsRead, const SettingsValues&)
{
    if (m_stopped)
        return;
    Say(QStringLiteral("version %1 revision %2, serial number %3%4")
            .arg(version.version)
            .arg(version.revision)
            .arg(version.serialNumber)
            .arg(settingsRead ? QString() : QStringLiteral("; the settings could not be read")));
    auto log = std::make_unique<MeasurementLog>(logPath(QStringLiteral("jrt1.txt")));
    if (!log->create()) {
        Say(LogProblemWords(log->problem()));
        m_connector->stop();
        emit failed();
        return;
    }
    if (!log->keptAs().isEmpty())
        Say(QStringLiteral("the earlier log was kept as %1").arg(log->keptAs()));
    m_log = std::move(log);

    if (m_publisher) {
        const QString before = m_publisher->baseTopic();
        m_publisher->setInstrument(version);
        if (m_publisher->baseTopic() != before)
            Say(QStringLiteral("publishing under %1").arg(m_publisher->baseTopic()));
    }

    // After an unplug only this unit may go on in this log.
    m_poller = std::make_unique<Poller>(*m_log, m_connector->takeLink(), version.serialNumber);
    connect(m_poller.get(), &Poller::logFailed, this, &Recorder::showLogProblem);
    connect(m_poller.get(), &Poller::logWorks, this, [] { Say(QStringLiteral("the log is written again")); });
    connect(m_poller.get(), &Poller::instrumentLost, this, [this] {
        Say(QStringLiteral("the instrument is gone; searching"));
        if (m_publisher)
            m_publisher->setInstrumentStatus(InstrumentStatus::Searching);
    });
    connect(m_poller.get(), &Poller::otherInstrumentFound, this,
            [serialNumber = version.serialNumber](const QString& device, quint16 other) {
                Say(QStringLiteral("another unit, serial number %1, answers on %2; it is not recorded, waiting for %3")
                        .arg(other)
                        .arg(device)
                        .arg(serialNumber));
            });
    connect(m_poller.get(), &Poller::instrumentBack, this, [this](const QString& device) {
        Say(QStringLiteral("the instrument is back on %1").arg(device));
        if (m_publisher)
            m_publisher->setInstrumentStatus(InstrumentStatus::Measuring);
    });
    if (m_publisher)
        m_publisher->follow(*m_poller);
    m_poller->start();
    Say(QStringLiteral("measuring into %1").arg(QDir::toNativeSeparators(m_log->fileName())));
}

// The base topic and client id default from the serial number: until the instrument
// answers, the one an earlier run noted beside the queue stands in for it.
void Recorder::startPublishing()
{
    m_publisher = std::make_unique<Publisher>(m_options.publish, logPath(QStringLiteral("jrt1.queue")));
    m_publisher->setDerived(m_options.derived);
    connect(m_publisher.get(), &Publisher::stateChanged, this, &Recorder::showPublishState);
    if (!m_publisher->start())
        Say(m_publisher->queueError());
    const QString base = m_publisher->baseTopic();
    Say(QStringLiteral("publishing to %1:%2%3")
            .arg(m_options.publish.host)
            .arg(m_options.publish.port)
            .arg(base.isEmpty() ? QStringLiteral(", under the instrument's serial number once it answers")
                                : QStringLiteral(" under %1").arg(base)));
}

void Recorder::showPublishState(const PublishState& state)
{
    QString text;
    switch (state.link) {
    case PublishState::Link::Off:
        text = QStringLiteral("publishing stopped");
        break;
    case PublishState::Link::Connecting:
        text = QStringLiteral("connecting to the broker");
        break;
    case PublishState::Link::Connected:
        text = QStringLiteral("connected to the broker");
        if (!state.refused.isEmpty())
            text += QStringLiteral("; it refuses %1 (kept in the queue)").arg(state.refused);
        break;
    case PublishState::Link::Failed:
        text = QStringLiteral("broker unreachable: %1").arg(state.reason);
        break;
    }
    if (state.dropped > 0)
        text += QStringLiteral("; queue full, %1 oldest readings dropped (still in the log)").arg(state.dropped);
    if (state.setAside > 0)
        text += QStringLiteral("; %1 damaged queued messages set aside in %2 (the last: %3)")
                    .arg(state.setAside)
                    .arg(state.setAsideFile, state.setAsideWhy);
    if (!state.queueProblem.isEmpty())
        text += QStringLiteral("; %1").arg(state.queueProblem);
    // The queue's length changes all the time; only a new state is worth a line.
    if (text == m_lastPublishText)
        return;
    m_lastPublishText = text;
    Say(state.queued > 0 ? QStringLiteral("%1 (%2 waiting)").arg(text).arg(state.queued) : text);
}

void Recorder::showLogProblem(const LogProblem& problem)
{
    Say(LogProblemWords(problem));
}

void Recorder::stop()
{
    if (m_stopped)
        return;
    m_stopped = true;
    m_rescan.stop();
    if (m_connector)
        m_connector->stop();
    if (m_poller)
        m_poller->stop();
    m_poller.reset();
    if (m_log) {
        m_log->close();
        if (m_log->pendingLineCount() > 0) {
            const QString savedAs = m_log->saveKeptLines(m_options.dir.isEmpty() ? QDir::currentPath() : m_options.dir);
            Say(savedAs.isEmpty() ? LogProblemWords(m_log->problem())
                                  : QStringLiteral("readings the log could not take were saved in %1").arg(savedAs));
        }
    }
    if (m_publisher)
        m_publisher->stop();
    Say(QStringLiteral("stopped"));
}

} // namespace hmx
