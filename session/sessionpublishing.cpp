// Publishing from a session: the publisher beside the Poller, the journal's events on
// <base>/event, and the state's words.
#include "session/measuringsession.h"

#include "publish/payloads.h"
#include "publish/publisher.h"
#include "session/sessiontexts.h"

namespace hmx {

QString MeasuringSession::broker() const
{
    return QStringLiteral("%1:%2").arg(m_options.publish.host).arg(m_options.publish.port);
}

QString MeasuringSession::publishStateText(const PublishState& state) const
{
    return PublishStateText(state, broker(), m_options.language);
}

// The base topic and client id default from the serial number: without the instrument,
// the one an earlier run noted beside the queue stands in for it.
void MeasuringSession::startPublisher(const std::optional<VersionInfo>& instrument)
{
    if (!m_options.publish.enabled || !PublishSettingsProblem(m_options.publish).isEmpty())
        return;
    // The queue lives beside the log, so an outage or a crash loses nothing. The process's
    // connection is used when it is to the same broker with the same account; one of its
    // own otherwise, as the settings say.
    std::shared_ptr<BrokerConnection> broker = m_options.broker;
    if (broker && !broker->serves(m_options.publish))
        broker.reset();
    m_publisher = instrument ? std::make_unique<Publisher>(m_options.publish, *instrument, m_files.queue(), broker)
                             : std::make_unique<Publisher>(m_options.publish, m_files.queue(), broker);
    m_publisher->setDerived(m_options.derived);
    connect(m_publisher.get(), &Publisher::stateChanged, this, &MeasuringSession::publishState);
    // Readings handed over meanwhile wait in the publisher until it starts.
    m_publisherWaits = m_options.passwordToCome;
    if (!m_publisherWaits)
        m_publisher->start();
}

void MeasuringSession::setPublishing(const PublishSettings& settings, bool passwordToCome,
                                     std::shared_ptr<BrokerConnection> broker)
{
    m_options.publish = settings;
    m_options.passwordToCome = passwordToCome;
    m_options.broker = std::move(broker);
}

void MeasuringSession::providePassword(const QString& password)
{
    m_options.publish.password = password;
    m_options.passwordToCome = false;  // a publisher made later starts at once
    if (!m_publisher || !m_publisherWaits)
        return;
    m_publisherWaits = false;
    m_publisher->setPassword(password);
    m_publisher->start();
}

void MeasuringSession::publishEvent(const JournalEvent& event)
{
    // Before any base topic is known (no instrument, none noted or set) there is no topic for it.
    if (m_publisher && !m_publisher->baseTopic().isEmpty())
        m_publisher->publishEvent(EventPayload(event.time, event.kind, event.details));
}

// After the Poller has stopped: "offline", undelivered readings left in the queue file.
void MeasuringSession::stopPublisher()
{
    if (m_publisher)
        m_publisher->stop();
    m_publisher.reset();
    m_publisherWaits = false;
}

} // namespace hmx
