// What the Poller tells a session, the limits and the journal: every event a front end may
// later ask about goes to hmx700-events.txt beside the log, once, whichever front end runs.
#include "session/measuringsession.h"

#include "log/measurementlog.h"
#include "publish/publisher.h"
#include "session/journalwords.h"
#include "session/sessiontexts.h"

#include <QDir>

namespace hmx {

void MeasuringSession::followPoller()
{
    Poller* p = m_poller.get();
    connect(p, &Poller::readingArrived, this, &MeasuringSession::onReading);
    connect(p, &Poller::noReply, this, &MeasuringSession::noReply);
    connect(p, &Poller::settingsConfirmed, this, &MeasuringSession::settingsConfirmed);
    connect(p, &Poller::settingsRead, this, [this](bool read, const SettingsValues& values) {
        if (!m_settingsReadAsked)
            return;  // answered already, when its run ended
        m_settingsReadAsked = false;
        if (read)
            noteSettings(QStringLiteral("settings-read"), values);
        emit settingsRead(read, values);
    });
    connect(p, &Poller::logFailed, this, [this](const LogProblem& problem) {
        m_journal.add(QStringLiteral("log-failed"), LogProblemDetails(problem));
        emit logFailed(problem);
    });
    connect(p, &Poller::logWorks, this, [this] {
        m_journal.add(QStringLiteral("log-works"), {Detail(QStringLiteral("file"), m_log ? m_log->fileName() : QString())});
        emit logWorks();
    });
    connect(p, &Poller::logRecreated, this, &MeasuringSession::logRecreated);
    connect(p, &Poller::linesDropped, this, &MeasuringSession::linesDropped);
    connect(p, &Poller::replyRejected, this, &MeasuringSession::replyRejected);
    connect(p, &Poller::instrumentLost, this, &MeasuringSession::onLost);
    connect(p, &Poller::instrumentBack, this, &MeasuringSession::onBack);
    // Told once per unit: the journal keeps who answered, whatever the front end asks.
    connect(p, &Poller::otherInstrumentFound, this, [this](const QString& device, quint16 serialNumber) {
        m_journal.add(QStringLiteral("other-unit"), {Detail(QStringLiteral("port"), device),
                                                     Detail(QStringLiteral("serial"), QString::number(serialNumber))});
        emit otherUnit(device, serialNumber);
    });
}

void MeasuringSession::onReading(const Reading& reading)
{
    SessionReading shown{reading, {}};
    completeDerived(shown.reading);
    addToLines(shown.reading);
    const limits::Millis now = LimitWatches::Now();
    const std::pair<limits::QuantityId, double> values[] = {
        {limits::QuantityId::DewPoint, reading.dewPoint / 10.0},
        {limits::QuantityId::Humidity, reading.humidity / 10.0},
        {limits::QuantityId::Ambient, reading.ambient / 10.0},
    };
    for (const auto& [quantity, value] : values) {
        const QuantityLimitEvents events = m_limits.observe(quantity, value, now);
        if (!events.empty())
            handleLimitEvents(events);
        shown.limits[std::size_t(quantity)] = m_limits.status(quantity);
    }
    // Events kept back by a journal that could not be written go out as soon as it can.
    if (m_journal.pendingCount() > 0)
        m_journal.retry();
    emit this->reading(shown);
}

void MeasuringSession::onLost()
{
    m_lostSince = QDateTime::currentDateTime();
    m_journal.add(QStringLiteral("instrument-lost"), {Detail(QStringLiteral("port"), QString::fromStdString(m_device))},
                  m_lostSince);
    m_limits.interrupt();
    if (m_publisher)
        m_publisher->setInstrumentStatus(InstrumentStatus::Searching);
    emit lost();
}

void MeasuringSession::onBack(const QString& device)
{
    const QDateTime now = QDateTime::currentDateTime();
    const qint64 lostMs = m_lostSince.isValid() ? m_lostSince.msecsTo(now) : 0;
    m_lostSince = {};
    m_device = device.toStdString();
    m_journal.add(QStringLiteral("instrument-back"),
                  {Detail(QStringLiteral("port"), device), Detail(QStringLiteral("lostSeconds"), JournalNumber(lostMs / 1000.0))},
                  now);
    if (m_publisher)
        m_publisher->setInstrumentStatus(InstrumentStatus::Measuring);
    emit back(device);
}

void MeasuringSession::noteSettings(const QString& kind, const SettingsValues& values)
{
    m_journal.add(kind, SettingsChanges(m_journalSettings, values));
    m_journalSettings = values;
    if (m_limits.setInstrumentSettings(values))
        emit limitsChanged();
}

void MeasuringSession::setLimits(const AlarmPreferences& preferences)
{
    m_options.limits = preferences;
    handleLimitEvents(m_limits.setPreferences(preferences, LimitWatches::Now()));
    emit limitsChanged();
}

void MeasuringSession::acknowledge()
{
    handleLimitEvents(m_limits.acknowledge(LimitWatches::Now()));
}

void MeasuringSession::acknowledge(limits::QuantityId quantity)
{
    handleLimitEvents(m_limits.acknowledge(quantity, LimitWatches::Now()));
}

void MeasuringSession::handleLimitEvents(const QuantityLimitEvents& events)
{
    if (events.empty())
        return;
    for (const QuantityLimitEvent& e : events)
        m_journal.add(LimitEventKind(e.event), LimitEventDetails(e.quantity, e.event),
                      QDateTime::fromMSecsSinceEpoch(e.event.time));
    emit limitEvents(events);
}

// A last try to write the events kept back, then what is still kept goes where the log's
// unsaved lines go. Says where, or why nowhere; empty when nothing was kept.
QString MeasuringSession::endJournal()
{
    if (m_journal.retry())
        return {};
    const qsizetype kept = qsizetype(m_journal.pendingCount());
    const QString savedAs = m_journal.saveKeptEvents(fallbackFolder());
    return UnsavedEventsText(m_journal.fileName(), kept, QDir::toNativeSeparators(savedAs), m_journal.problem().reason,
                             m_options.language);
}

} // namespace hmx
