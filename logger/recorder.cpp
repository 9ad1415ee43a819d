#include "logger/recorder.h"

#include "publish/publisher.h"
#include "log/eventjournal.h"
#include "session/journalwords.h"
#include "session/measuringsession.h"
#include "session/sessiontexts.h"

#include <QDir>

#include <cstdio>

namespace hmx {

void Say(const QString& text, const QString& name)
{
    if (text.isEmpty())
        return;
    if (name.isEmpty())
        std::fprintf(stderr, "hmx700-logger: %s\n", qPrintable(text));
    else
        std::fprintf(stderr, "hmx700-logger: [%s] %s\n", qPrintable(name), qPrintable(text));
    std::fflush(stderr);
}

SessionOptions RecorderSession(const LoggerOptions& options, const QString& folder, const PublishSettings& publish)
{
    SessionOptions session;
    session.folder = folder;
    session.publish = publish;
    // What an earlier run queued goes to the broker at once, whatever the instrument does.
    session.publishFromStart = true;
    session.derived = options.derived;
    session.limits = options.limits;
    return session;
}

Recorder::Recorder(MeasuringSession& session, QString name, QObject* parent)
    : QObject(parent)
    , m_session(session)
    , m_name(std::move(name))
{
    MeasuringSession* s = &m_session;
    connect(s, &MeasuringSession::cannotMeasure, this, [this](const QString& why) {
        say(why);
        QMetaObject::invokeMethod(this, &Recorder::cannotRecord, Qt::QueuedConnection);
    });
    connect(s, &MeasuringSession::scanned, this, &Recorder::scanned);
    connect(s, &MeasuringSession::instrumentRead, this, [this](const VersionInfo& version, bool settingsRead) {
        say(QStringLiteral("version %1 revision %2, serial number %3%4")
                .arg(version.version)
                .arg(version.revision)
                .arg(version.serialNumber)
                .arg(settingsRead ? QString() : QStringLiteral("; the settings could not be read")));
    });
    connect(s, &MeasuringSession::measuring, this, [this](const QString& logFile, const QString& keptAs) {
        if (!keptAs.isEmpty())
            say(QStringLiteral("the earlier log was kept as %1").arg(keptAs));
        if (Publisher* publisher = m_session.publisher(); publisher && publisher->baseTopic() != m_baseTopic) {
            m_baseTopic = publisher->baseTopic();
            say(QStringLiteral("publishing under %1").arg(m_baseTopic));
        }
        say(QStringLiteral("measuring into %1").arg(QDir::toNativeSeparators(logFile)));
    });
    connect(s, &MeasuringSession::logFailed, this, [this](const LogProblem& p) { say(LogProblemText(p, Language::English)); });
    connect(s, &MeasuringSession::logRecreated, this, [this](const LogProblem& p) { say(LogProblemText(p, Language::English)); });
    connect(s, &MeasuringSession::logWorks, this, [this] { say(QStringLiteral("the log is written again")); });
    connect(s, &MeasuringSession::linesDropped, this, [this](quint64 total) {
        say(LinesDroppedText(m_session.files().log(), total, Language::English));
    });
    connect(s, &MeasuringSession::journalFailed, this, [this](const LogProblem& p) { say(LogProblemText(p, Language::English)); });
    connect(s, &MeasuringSession::lost, this, [this] { say(QStringLiteral("the instrument is gone; searching")); });
    connect(s, &MeasuringSession::back, this, [this](const QString& device) {
        say(QStringLiteral("the instrument is back on %1").arg(device));
    });
    // No one to ask whether to switch: the recorder keeps searching for its own unit, and
    // says so where a script or a look afterwards finds it.
    connect(s, &MeasuringSession::otherUnit, this, [this](const QString& device, quint16 other) {
        say(OtherUnitText(device, other, m_session.serialNumber(), Language::English));
    });
    // As the journal writes it: the same words in both, for a script reading either.
    connect(s, &MeasuringSession::limitEvents, this, [this](const QuantityLimitEvents& events) {
        for (const QuantityLimitEvent& e : events)
            say(QStringLiteral("%1 %2").arg(LimitEventKind(e.event),
                                            LimitEventDetails(e.quantity, e.event).join(QLatin1Char(' '))));
    });
    connect(s, &MeasuringSession::publishState, this, &Recorder::showPublishState);
}

bool Recorder::start(const std::vector<std::string>& devices)
{
    if (m_stopped || !m_session.connectInstrument(devices))
        return false;
    if (Publisher* publisher = m_session.publisher(); publisher && !m_toldPublishing) {
        m_toldPublishing = true;
        m_baseTopic = publisher->baseTopic();
        say(QStringLiteral("publishing to %1%2")
                .arg(m_session.broker(),
                     m_baseTopic.isEmpty() ? QStringLiteral(", under the instrument's serial number once it answers")
                                           : QStringLiteral(" under %1").arg(m_baseTopic)));
    }
    return true;
}

void Recorder::scanned(const ScanResult& scan)
{
    if (!scan.connected) {
        emit notFound(scan);
        return;
    }
    say(QStringLiteral("instrument %1 on %2").arg(QString::fromStdString(scan.reply), QString::fromStdString(scan.portName)));
    m_session.readInstrument();
}

void Recorder::showPublishState(const PublishState& state)
{
    // The queue's length changes all the time; only a new state is worth a line.
    PublishState countless = state;
    countless.queued = 0;
    const QString text = m_session.publishStateText(countless);
    if (text == m_lastPublishText)
        return;
    m_lastPublishText = text;
    say(m_session.publishStateText(state));
}

void Recorder::stop()
{
    if (m_stopped)
        return;
    m_stopped = true;
    const SessionEnd end = m_session.stop();
    say(end.lines);
    say(end.events);
    say(QStringLiteral("stopped"));
}

} // namespace hmx
