#include "logger/recorder.h"

#include "publish/publisher.h"
#include "log/eventjournal.h"
#include "session/journalwords.h"
#include "session/measuringsession.h"
#include "session/sessiontexts.h"

#include <QDir>

#include <cstdio>

namespace hmx {

namespace {

void Say(const QString& text)
{
    if (text.isEmpty())
        return;
    std::fprintf(stderr, "hmx700-logger: %s\n", qPrintable(text));
    std::fflush(stderr);
}

} // namespace

Recorder::Recorder(LoggerOptions options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
{
    m_rescan.setSingleShot(true);
    m_rescan.setInterval(std::chrono::milliseconds(Poller::RescanInterval));
    connect(&m_rescan, &QTimer::timeout, this, &Recorder::start);

    SessionOptions session;
    session.folder = m_options.dir;
    session.publish = m_options.publish;
    // What an earlier run queued goes to the broker at once, whatever the instrument does.
    session.publishFromStart = true;
    session.derived = m_options.derived;
    session.limits = m_options.limits;
    m_session = std::make_unique<MeasuringSession>(session);
    MeasuringSession* s = m_session.get();

    // Told after the event loop has started, so the program ends through it.
    connect(s, &MeasuringSession::cannotMeasure, this, [this](const QString& why) {
        Say(why);
        QMetaObject::invokeMethod(this, &Recorder::failed, Qt::QueuedConnection);
    });
    connect(s, &MeasuringSession::scanned, this, &Recorder::scanned);
    connect(s, &MeasuringSession::instrumentRead, this, [](const VersionInfo& version, bool settingsRead) {
        Say(QStringLiteral("version %1 revision %2, serial number %3%4")
                .arg(version.version)
                .arg(version.revision)
                .arg(version.serialNumber)
                .arg(settingsRead ? QString() : QStringLiteral("; the settings could not be read")));
    });
    connect(s, &MeasuringSession::measuring, this, [this](const QString& logFile, const QString& keptAs) {
        if (!keptAs.isEmpty())
            Say(QStringLiteral("the earlier log was kept as %1").arg(keptAs));
        if (Publisher* publisher = m_session->publisher(); publisher && publisher->baseTopic() != m_baseTopic) {
            m_baseTopic = publisher->baseTopic();
            Say(QStringLiteral("publishing under %1").arg(m_baseTopic));
        }
        Say(QStringLiteral("measuring into %1").arg(QDir::toNativeSeparators(logFile)));
    });
    connect(s, &MeasuringSession::logFailed, this, [](const LogProblem& p) { Say(LogProblemText(p, Language::English)); });
    connect(s, &MeasuringSession::logRecreated, this, [](const LogProblem& p) { Say(LogProblemText(p, Language::English)); });
    connect(s, &MeasuringSession::logWorks, this, [] { Say(QStringLiteral("the log is written again")); });
    connect(s, &MeasuringSession::linesDropped, this, [this](quint64 total) {
        Say(LinesDroppedText(m_session->files().log(), total, Language::English));
    });
    connect(s, &MeasuringSession::journalFailed, this, [](const LogProblem& p) { Say(LogProblemText(p, Language::English)); });
    connect(s, &MeasuringSession::lost, this, [] { Say(QStringLiteral("the instrument is gone; searching")); });
    connect(s, &MeasuringSession::back, this, [](const QString& device) {
        Say(QStringLiteral("the instrument is back on %1").arg(device));
    });
    // No one to ask whether to switch: the recorder keeps searching for its own unit, and
    // says so where a script or a look afterwards finds it.
    connect(s, &MeasuringSession::otherUnit, this, [this](const QString& device, quint16 other) {
        Say(OtherUnitText(device, other, m_session->serialNumber(), Language::English));
        m_session->journal().add(QStringLiteral("other-unit"), {Detail(QStringLiteral("port"), device),
                                                                Detail(QStringLiteral("serial"), QString::number(other))});
    });
    // As the journal writes it: the same words in both, for a script reading either.
    connect(s, &MeasuringSession::limitEvents, this, [](const QuantityLimitEvents& events) {
        for (const QuantityLimitEvent& e : events)
            Say(QStringLiteral("%1 %2").arg(LimitEventKind(e.event),
                                            LimitEventDetails(e.quantity, e.event).join(QLatin1Char(' '))));
    });
    connect(s, &MeasuringSession::publishState, this, &Recorder::showPublishState);
}

Recorder::~Recorder()
{
    stop();
}

void Recorder::start()
{
    if (m_stopped || !m_session->connectInstrument())
        return;
    if (Publisher* publisher = m_session->publisher(); publisher && !m_toldPublishing) {
        m_toldPublishing = true;
        m_baseTopic = publisher->baseTopic();
        Say(QStringLiteral("publishing to %1%2")
                .arg(m_session->broker(),
                     m_baseTopic.isEmpty() ? QStringLiteral(", under the instrument's serial number once it answers")
                                           : QStringLiteral(" under %1").arg(m_baseTopic)));
    }
}

void Recorder::scanned(const ScanResult& scan)
{
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
    Say(QStringLiteral("instrument %1 on %2").arg(QString::fromStdString(scan.reply), QString::fromStdString(scan.portName)));
    m_session->readInstrument();
}

void Recorder::showPublishState(const PublishState& state)
{
    // The queue's length changes all the time; only a new state is worth a line.
    PublishState countless = state;
    countless.queued = 0;
    const QString text = m_session->publishStateText(countless);
    if (text == m_lastPublishText)
        return;
    m_lastPublishText = text;
    Say(m_session->publishStateText(state));
}

void Recorder::stop()
{
    if (m_stopped)
        return;
    m_stopped = true;
    m_rescan.stop();
    const SessionEnd end = m_session->stop();
    Say(end.lines);
    Say(end.events);
    Say(QStringLiteral("stopped"));
}

} // namespace hmx
