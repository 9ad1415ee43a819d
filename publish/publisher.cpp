#include "publish/publisher.h"

#include "instrument/poller.h"
#include "publish/payloads.h"

#include <mosquitto.h>

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

namespace hmx {

namespace {

using Clock = std::chrono::steady_clock;

// A connection attempt that has not been accepted by then counts as failed.
constexpr std::chrono::seconds ConnectTimeout{15};
constexpr int KeepAliveSeconds = 30;
// How long the loop waits for the network when nothing is to be sent.
constexpr int IdleWaitMs = 100;

void InitLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

QString ErrorText(int rc)
{
    if (rc == MOSQ_ERR_ERRNO)
        return QString::fromLocal8Bit(std::strerror(errno));
    return QString::fromUtf8(mosquitto_strerror(rc));
}

QByteArray Utf8(const QString& text)
{
    return text.toUtf8();
}

const char* OrNull(const QByteArray& bytes)
{
    return bytes.isEmpty() ? nullptr : bytes.constData();
}

QByteArray StatusWord(InstrumentStatus status)
{
    return status == InstrumentStatus::Measuring ? QByteArrayLiteral("measuring") : QByteArrayLiteral("searching");
}

} // namespace

Publisher::Publisher(PublishSettings settings, VersionInfo instrument, QString queuePath, QObject* parent)
    : QObject(parent)
    , m_settings(std::move(settings))
    , m_instrument(instrument)
    , m_baseTopic(m_settings.topicFor(instrument.serialNumber))
    , m_queue(std::move(queuePath))
{
    qRegisterMetaType<hmx::PublishState>();
    InitLibrary();
}

Publisher::~Publisher()
{
    stop();
}

bool Publisher::start()
{
    if (m_thread.joinable())
        return true;
    const bool opened = m_queue.open();
    m_queueError = opened ? QString() : m_queue.error();
    m_state.queueProblem = m_queueError;
    m_state.queued = qint64(m_queue.size());
    m_state.dropped = m_queue.droppedCount();
    m_running.store(true, std::memory_order_release);
    m_thread = std::thread([this] { run(); });
    return opened;
}

void Publisher::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_running.store(false, std::memory_order_release);
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void Publisher::publishReading(const Reading& reading)
{
    enqueue(QStringLiteral("reading"), ReadingPayload(reading, m_derived));
}

void Publisher::publishEvent(const QByteArray& json)
{
    enqueue(QStringLiteral("event"), json);
}

void Publisher::enqueue(const QString& subtopic, const QByteArray& payload)
{
    QByteArray message = Utf8(m_baseTopic + QLatin1Char('/') + subtopic);
    message += ' ';
    message += payload;
    {
        std::lock_guard lock(m_mutex);
        m_incoming.push_back(std::move(message));
    }
    m_wake.notify_one();
}

void Publisher::setInstrumentStatus(InstrumentStatus status)
{
    m_status.store(status, std::memory_order_release);
    m_wake.notify_one();
}

bool Publisher::waitUntil(Clock::time_point until)
{
    std::unique_lock lock(m_mutex);
    return !m_wake.wait_until(lock, until, [this] {
        return !m_running.load(std::memory_order_acquire) || !m_incoming.empty();
    });
}

void Publisher::run()
{
    m_nextAttempt = Clock::now();
    report(true);
    while (m_running.load(std::memory_order_acquire)) {
        takeHandedOver();
        if (!m_mosq && Clock::now() >= m_nextAttempt)
            connectToBroker();
        if (!m_mosq) {
            waitUntil(std::min(m_nextAttempt, Clock::now() + std::chrono::seconds(1)));
            report();
            continue;
        }
        if (m_connected) {
            if (m_status.load(std::memory_order_acquire) != m_publishedStatus || !m_statusPublished)
                publishStatus();
            sendWaiting();
        }
        const bool busy = m_connected && m_sentMids.size() < std::min(m_queue.size(), SendWindow);
        const int rc = mosquitto_loop(m_mosq, busy ? 0 : IdleWaitMs, 1);
        if (!m_dropReason.isEmpty())
            dropConnection(m_dropReason);
        else if (rc != MOSQ_ERR_SUCCESS)
            dropConnection(ErrorText(rc));
        else if (!m_connected && Clock::now() - m_attemptStarted > ConnectTimeout)
            dropConnection(QStringLiteral("no answer from %1:%2").arg(m_settings.host).arg(m_settings.port));
        report();
    }
    finish();
}

void Publisher::takeHandedOver()
{
    std::vector<QByteArray> messages;
    {
        std::lock_guard lock(m_mutex);
        messages.swap(m_incoming);
    }
    if (messages.empty())
        return;
    const std::uint64_t droppedBefore = m_queue.droppedCount();
    m_queue.append(messages);
    m_state.queueProblem = m_queue.error();
    // A full queue dropped its oldest, perhaps some sent and awaiting acknowledgement:
    // their acknowledgements no longer count.
    const auto dropped = std::min<std::uint64_t>(m_queue.droppedCount() - droppedBefore, m_sentMids.size());
    m_sentMids.erase(m_sentMids.begin(), m_sentMids.begin() + std::ptrdiff_t(dropped));
}

void Publisher::connectToBroker()
{
    m_attemptStarted = Clock::now();
    m_dropReason.clear();
    m_state.link = PublishState::Link::Connecting;
    const QByteArray clientId = Utf8(m_settings.clientIdFor(m_instrument.serialNumber));
    m_mosq = mosquitto_new(clientId.constData(), true, this);
    if (!m_mosq) {
        dropConnection(QStringLiteral("out of memory"));
        return;
    }
    mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_max_inflight_messages_set(m_mosq, 0);  // the send window bounds it
    mosquitto_connect_callback_set(m_mosq, &Publisher::connectCallback);
    mosquitto_disconnect_callback_set(m_mosq, &Publisher::disconnectCallback);
    mosquitto_publish_callback_set(m_mosq, &Publisher::publishCallback);
    const QByteArray statusTopic = Utf8(m_baseTopic + QStringLiteral("/status"));
    mosquitto_will_set(m_mosq, statusTopic.constData(), 7, "offline", m_settings.qos, true);
    int rc = MOSQ_ERR_SUCCESS;
    if (!m_settings.user.isEmpty())
        rc = mosquitto_username_pw_set(m_mosq, Utf8(m_settings.user).constData(),
                                       OrNull(Utf8(m_settings.password)));
    if (rc == MOSQ_ERR_SUCCESS && m_settings.tls) {
        const QByteArray ca = QFile::encodeName(m_settings.caFile);
        const QByteArray cert = QFile::encodeName(m_settings.certFile);
        const QByteArray key = QFile::encodeName(m_settings.keyFile);
        for (const QString& file : {m_settings.caFile, m_settings.certFile, m_settings.keyFile})
            if (!file.isEmpty() && !QFileInfo(file).isReadable()) {
                dropConnection(QStringLiteral("cannot read %1").arg(file));
                return;
            }
        if (ca.isEmpty())
            mosquitto_int_option(m_mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        rc = mosquitto_tls_set(m_mosq, OrNull(ca), ca.isEmpty() ? "/etc/ssl/certs" : nullptr, OrNull(cert),
                               OrNull(key), nullptr);
    }
    if (rc == MOSQ_ERR_SUCCESS)
        rc = mosquitto_connect_async(m_mosq, Utf8(m_settings.host).constData(), m_settings.port, KeepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS)
        dropConnection(ErrorText(rc));
}

// Ends this connection. Whatever it had sent without acknowledgement goes again on the
// next one: the queue, not the library, keeps the messages.
void Publisher::dropConnection(QString reason)
{
    if (m_mosq) {
        mosquitto_destroy(m_mosq);
        m_mosq = nullptr;
    }
    m_connected = false;
    m_statusPublished = false;
    m_sentMids.clear();
    m_dropReason.clear();
    m_state.link = PublishState::Link::Failed;
    m_state.reason = std::move(reason);
    m_nextAttempt = Clock::now() + m_retry;
    m_retry = std::min(m_retry * 2, std::chrono::seconds(LongestRetry));
}

void Publisher::onConnected(int result)
{
    if (result != 0) {
        m_dropReason = QString::fromUtf8(mosquitto_connack_string(result));
        return;
    }
    m_connected = true;
    m_retry = FirstRetry;
    m_state.link = PublishState::Link::Connected;
    m_state.reason.clear();
    publishRetained(m_baseTopic + QStringLiteral("/info"), InfoPayload(m_instrument));
    if (m_settings.homeAssistant)
        for (const auto& [topic, payload] :
             HomeAssistantConfigs(m_baseTopic, m_instrument, m_derived, m_settings.discoveryPrefixOrDefault()))
            publishRetained(topic, payload);
}

void Publisher::onDisconnected(int result)
{
    if (m_dropReason.isEmpty())
        m_dropReason = result == 0 ? QStringLiteral("disconnected") : QStringLiteral("connection lost");
}

void Publisher::onAcknowledged(int mid)
{
    const auto found = std::find(m_sentMids.begin(), m_sentMids.end(), mid);
    if (found == m_sentMids.end()) {
        if (mid == m_statusMid)
            m_statusMid = -1;
        return;
    }
    *found = 0;
    std::size_t delivered = 0;
    while (!m_sentMids.empty() && m_sentMids.front() == 0) {
        m_sentMids.pop_front();
        ++delivered;
    }
    if (delivered > 0)
        m_queue.removeFront(delivered);
}

void Publisher::sendWaiting()
{
    const std::size_t end = std::min(m_queue.size(), SendWindow);
    while (m_sentMids.size() < end) {
        const QByteArray& message = m_queue.at(m_sentMids.size());
        const qsizetype space = message.indexOf(' ');
        const QByteArray topic = message.left(space);
        int mid = 0;
        const int rc = mosquitto_publish(m_mosq, &mid, topic.constData(), int(message.size() - space - 1),
                                         message.constData() + space + 1, m_settings.qos, false);
        if (rc != MOSQ_ERR_SUCCESS) {
            m_dropReason = ErrorText(rc);
            return;
        }
        m_sentMids.push_back(mid);
    }
}

void Publisher::publishRetained(const QString& topic, const QByteArray& payload, int* mid)
{
    const QByteArray name = Utf8(topic);
    mosquitto_publish(m_mosq, mid, name.constData(), int(payload.size()), payload.constData(), m_settings.qos, true);
}

void Publisher::publishStatus()
{
    m_publishedStatus = m_status.load(std::memory_order_acquire);
    m_statusPublished = true;
    publishRetained(m_baseTopic + QStringLiteral("/status"), StatusWord(m_publishedStatus));
}

// Last words: "offline" retained (a clean disconnect sends no will), then what is
// undelivered stays in the queue file for the next start.
void Publisher::finish()
{
    takeHandedOver();
    if (m_mosq && m_connected) {
        publishRetained(m_baseTopic + QStringLiteral("/status"), QByteArrayLiteral("offline"), &m_statusMid);
        const auto until = Clock::now() + std::chrono::seconds(2);
        while (m_statusMid != -1 && m_settings.qos > 0 && m_dropReason.isEmpty() && Clock::now() < until
               && mosquitto_loop(m_mosq, IdleWaitMs, 1) == MOSQ_ERR_SUCCESS) {
        }
        mosquitto_disconnect(m_mosq);
        mosquitto_loop(m_mosq, 0, 1);
    }
    if (m_mosq)
        mosquitto_destroy(m_mosq);
    m_mosq = nullptr;
    m_connected = false;
    m_queue.close();
    m_state.link = PublishState::Link::Off;
    m_state.queued = qint64(m_queue.size());
    report(true);
}

// Tells the state when it changed, the queue's length at most twice a second.
void Publisher::report(bool now)
{
    m_state.queued = qint64(m_queue.size());
    m_state.dropped = m_queue.droppedCount();
    if (m_state == m_reported)
        return;
    const bool onlyCount = m_state.link == m_reported.link && m_state.reason == m_reported.reason
        && m_state.queueProblem == m_reported.queueProblem && m_state.queued != 0;
    if (!now && onlyCount && Clock::now() - m_reportedAt < std::chrono::milliseconds(500))
        return;
    m_reported = m_state;
    m_reportedAt = Clock::now();
    emit stateChanged(m_state);
}

void Publisher::connectCallback(mosquitto*, void* self, int result)
{
    static_cast<Publisher*>(self)->onConnected(result);
}

void Publisher::disconnectCallback(mosquitto*, void* self, int result)
{
    static_cast<Publisher*>(self)->onDisconnected(result);
}

void Publisher::publishCallback(mosquitto*, void* self, int mid)
{
    static_cast<Publisher*>(self)->onAcknowledged(mid);
}

} // namespace hmx
