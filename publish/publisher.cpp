#include "publish/publisher.h"

#include "instrument/poller.h"
#include "publish/payloads.h"
#include "publish/tlsverify.h"

#include <mosquitto.h>

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace hmx {

namespace {

using Clock = std::chrono::steady_clock;

// A connection attempt that has not been accepted by then counts as failed.
constexpr std::chrono::seconds ConnectTimeout{15};
constexpr int KeepAliveSeconds = 30;
// How long the loop waits for the network when nothing is to be sent.
constexpr int IdleWaitMs = 100;
// Drops and set-aside messages are told (status line, <base>/queue) once a minute at most.
constexpr std::chrono::seconds TellDropsEvery{60};

// MQTT 5's numbers (the standard's, as in libmosquitto's mqtt_protocol.h).
constexpr int ReceiveMaximumProperty = 0x21;
constexpr int FailureReason = 0x80;  // reason codes from here on say a message was refused
constexpr int UnsupportedProtocolVersion = 0x84;
constexpr int BadUserNameOrPassword = 0x86;
constexpr int NotAuthorized = 0x87;
constexpr int TopicNameInvalid = 0x90;
constexpr int PacketTooLarge = 0x95;
constexpr int PayloadFormatInvalid = 0x99;

// OpenSSL's verification results (X509_V_ERR_*), stable numbers of its ABI.
enum VerifyCode : long {
    UnableToGetIssuerCert = 2,
    CertNotYetValid = 9,
    CertHasExpired = 10,
    DepthZeroSelfSigned = 18,
    SelfSignedCertInChain = 19,
    UnableToGetIssuerCertLocally = 20,
    UnableToVerifyLeafSignature = 21,
    CertRevoked = 23,
    CertUntrusted = 27,
    HostnameMismatch = 62,
    IpAddressMismatch = 64,
};

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

// The broker's refusal of a connection, in the words MQTT 3.1.1 brokers give.
QString ConnackWords(int rc)
{
    switch (rc) {
    case BadUserNameOrPassword:
        return QString::fromUtf8(mosquitto_connack_string(4));
    case NotAuthorized:
        return QString::fromUtf8(mosquitto_connack_string(5));
    default:
        return rc < FailureReason ? QString::fromUtf8(mosquitto_connack_string(rc))
                                  : QStringLiteral("Connection Refused: %1.").arg(QString::fromUtf8(mosquitto_reason_string(rc)));
    }
}

// What makes a queued line unsendable, empty when nothing: the topic before the first
// space, valid UTF-8 without NUL, '+' or '#'.
QString Damage(const QByteArray& line, QByteArray& topic)
{
    const qsizetype space = line.indexOf(' ');
    if (space < 0)
        return QStringLiteral("no space between topic and message");
    if (space == 0)
        return QStringLiteral("no topic");
    topic = line.left(space);
    if (topic.contains('\0'))
        return QStringLiteral("a NUL byte in the topic");
    if (mosquitto_validate_utf8(topic.constData(), int(topic.size())) != MOSQ_ERR_SUCCESS)
        return QStringLiteral("the topic is not UTF-8");
    if (mosquitto_pub_topic_check2(topic.constData(), std::size_t(topic.size())) != MOSQ_ERR_SUCCESS)
        return QStringLiteral("'+' or '#' in the topic, or a topic too long");
    return {};
}

// mosquitto_publish's refusals that concern the message itself, not the connection.
bool MessageFault(int rc)
{
    return rc == MOSQ_ERR_INVAL || rc == MOSQ_ERR_MALFORMED_UTF8 || rc == MOSQ_ERR_PAYLOAD_SIZE
        || rc == MOSQ_ERR_OVERSIZE_PACKET;
}

// A broker's refusal that no later try changes: the message is set aside.
bool RefusedForGood(int reason)
{
    return reason == TopicNameInvalid || reason == PacketTooLarge || reason == PayloadFormatInvalid;
}

QString NotePath(const QString& queuePath)
{
    return queuePath + QStringLiteral(".instrument");
}

// The last piece of an OpenSSL error line: "OpenSSL Error[0]: error:0A000086:SSL routines::certificate verify failed".
QString OpenSslReason(const QString& line)
{
    return line.mid(line.lastIndexOf(QLatin1Char(':')) + 1).trimmed();
}

} // namespace

Publisher::Publisher(PublishSettings settings, VersionInfo instrument, QString queuePath, QObject* parent)
    : Publisher(std::move(settings), std::move(queuePath), parent)
{
    m_serial = instrument.serialNumber;
    m_instrumentKnown = true;
    m_instrument = instrument;
    m_status.store(InstrumentStatus::Measuring);
}

Publisher::Publisher(PublishSettings settings, QString queuePath, QObject* parent)
    : QObject(parent)
    , m_settings(std::move(settings))
    , m_queuePath(queuePath)
    , m_queue(queuePath)
    , m_window([this](std::uint64_t seq) {
        const QByteArray& line = m_queue.at(std::size_t(seq - m_queue.firstSeq()));
        return line.left(line.indexOf(' '));
    })
{
    qRegisterMetaType<hmx::PublishState>();
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
    if (const auto noted = NotedInstrument(m_queuePath)) {
        m_serial = noted->serialNumber;
        m_instrument = *noted;
    }
    // Until the instrument answers, the recorder is looking for it.
    m_status.store(InstrumentStatus::Searching);
}

Publisher::~Publisher()
{
    stop();
}

std::optional<VersionInfo> Publisher::NotedInstrument(const QString& queuePath)
{
    QFile file(NotePath(queuePath));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonObject note = QJsonDocument::fromJson(file.readAll()).object();
    const int serial = note.value(QStringLiteral("serialNumber")).toInt(-1);
    if (serial < 0 || serial > 0xFFFF)
        return std::nullopt;
    VersionInfo v;
    v.serialNumber = std::uint16_t(serial);
    v.version = std::uint8_t(note.value(QStringLiteral("version")).toInt());
    v.revision = std::uint8_t(note.value(QStringLiteral("revision")).toInt());
    return v;
}

QString Publisher::baseTopic() const
{
    std::lock_guard lock(m_mutex);
    if (m_serial)
        return m_settings.topicFor(*m_serial);
    return m_settings.baseTopic;
}

bool Publisher::start()
{
    if (m_thread.joinable())
        return true;
    if (m_instrumentKnown)
        setInstrument(m_instrument);
    bool opened = false;
    {
        std::lock_guard lock(m_queueMutex);
        opened = m_queue.open();
        m_queueOpen = true;
        if (!m_early.empty())
            m_queue.append(m_early);
        m_early.clear();
        m_queueError = opened ? QString() : m_queue.error();
    }
    m_state.queueProblem = m_queueError;
    const QDateTime started = QDateTime::currentDateTime();
    m_startedAt = started.toOffsetFromUtc(started.offsetFromUtc()).toString(Qt::ISODate);
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

void Publisher::setInstrument(const VersionInfo& instrument)
{
    {
        std::lock_guard lock(m_mutex);
        m_serial = instrument.serialNumber;
        m_handedInstrument = instrument;
    }
    m_status.store(InstrumentStatus::Measuring, std::memory_order_release);
    // Noted for a start without the instrument: the backlog goes out under its name.
    const auto noted = NotedInstrument(m_queuePath);
    if (!noted || noted->serialNumber != instrument.serialNumber || noted->version != instrument.version
        || noted->revision != instrument.revision) {
        QSaveFile note(NotePath(m_queuePath));
        const QJsonObject json{{QStringLiteral("serialNumber"), instrument.serialNumber},
                               {QStringLiteral("version"), instrument.version},
                               {QStringLiteral("revision"), instrument.revision}};
        if (note.open(QIODevice::WriteOnly))
            note.write(QJsonDocument(json).toJson(QJsonDocument::Compact) + '\n');
        note.commit();
    }
    wake();
}

void Publisher::publishReading(const Reading& reading)
{
    enqueue(QStringLiteral("reading"), ReadingPayload(reading), false);
}

void Publisher::publishEvent(const QByteArray& json)
{
    enqueue(QStringLiteral("event"), json, true);
}

void Publisher::syncQueue()
{
    std::lock_guard lock(m_queueMutex);
    m_queue.sync();
}

void Publisher::follow(Poller& poller)
{
    connect(&poller, &Poller::readingTaken, this, [this](const Reading& reading) { publishReading(reading); },
            Qt::DirectConnection);
    connect(&poller, &Poller::readingArrived, this, [this] { syncQueue(); }, Qt::DirectConnection);
}

void Publisher::enqueue(const QString& subtopic, const QByteArray& payload, bool sync)
{
    QByteArray message = Utf8(baseTopic() + QLatin1Char('/') + subtopic);
    message += ' ';
    message += payload;
    bool rewrite = false;
    {
        std::lock_guard lock(m_queueMutex);
        if (!m_queueOpen) {
            m_early.push_back(std::move(message));
            return;
        }
        m_queue.append({message}, sync);
        rewrite = m_queue.wantsRewrite();
    }
    if (rewrite)
        wake();
}

void Publisher::setInstrumentStatus(InstrumentStatus status)
{
    m_status.store(status, std::memory_order_release);
    wake();
}

void Publisher::wake()
{
    {
        std::lock_guard lock(m_mutex);
        m_woken = true;
    }
    m_wake.notify_one();
}

bool Publisher::waitUntil(Clock::time_point until)
{
    std::unique_lock lock(m_mutex);
    const bool woken = m_wake.wait_until(lock, until, [this] {
        return !m_running.load(std::memory_order_acquire) || m_woken;
    });
    m_woken = false;
    return !woken;
}

void Publisher::run()
{
    m_nextAttempt = Clock::now();
    m_tokensAt = Clock::now();
    m_state.link = PublishState::Link::Connecting;
    report(true);
    while (m_running.load(std::memory_order_acquire)) {
        takeHandedOver();
        rewriteQueueIfDue();
        {
            std::lock_guard lock(m_queueMutex);
            m_queue.sync();  // readings handed over without syncQueue()
        }
        if (!m_mosq && identified() && Clock::now() >= m_nextAttempt)
            connectToBroker();
        if (!m_mosq) {
            waitUntil(std::min(m_nextAttempt, Clock::now() + std::chrono::seconds(1)));
            report();
            continue;
        }
        int waitMs = IdleWaitMs;
        if (m_connected) {
            publishAnnouncements();
            waitMs = sendWaiting();
        }
        const int rc = loop(waitMs);
        if (!m_dropReason.isEmpty())
            dropConnection(m_dropReason);
        else if (rc == MOSQ_ERR_TLS)
            dropConnection(tlsFailure(rc));
        else if (rc != MOSQ_ERR_SUCCESS)
            dropConnection(ErrorText(rc));
        else if (!m_connected && Clock::now() - m_attemptStarted > ConnectTimeout)
            dropConnection(QStringLiteral("no answer from %1:%2").arg(m_settings.host).arg(m_settings.port));
        report();
    }
    finish();
}

// Whether the base topic and client id are known (from the instrument, a note or the settings).
bool Publisher::identified() const
{
    std::lock_guard lock(m_mutex);
    return m_serial || (!m_settings.baseTopic.isEmpty() && !m_settings.clientId.isEmpty());
}

void Publisher::takeHandedOver()
{
    std::optional<VersionInfo> instrument;
    {
        std::lock_guard lock(m_mutex);
        instrument.swap(m_handedInstrument);
    }
    if (instrument)
        adoptInstrument(*instrument);
}

// Another instrument than the note said has its own client id, will and status: this
// connection says "offline" for the one before and makes way for one under the new name.
void Publisher::adoptInstrument(const VersionInfo& instrument)
{
    m_instrument = instrument;
    m_instrumentKnown = true;
    m_infoPublished = false;
    if (!m_mosq || (m_settings.topicFor(instrument.serialNumber) == m_base
                    && m_settings.clientIdFor(instrument.serialNumber) == m_clientId))
        return;
    if (m_connected) {
        publishRetained(m_base + QStringLiteral("/status"), QByteArrayLiteral("offline"));
        mosquitto_disconnect(m_mosq);
        mosquitto_loop(m_mosq, 0, 1);
    }
    dropConnection({});
    m_state.link = PublishState::Link::Connecting;
    m_nextAttempt = Clock::now();
    m_retry = FirstRetry;
}

// The file's head of delivered or dropped lines goes; appends wait only for the end.
void Publisher::rewriteQueueIfDue()
{
    const auto now = Clock::now();
    if (now < m_nextRewrite)
        return;
    DiskQueue::Rewrite rewrite;
    {
        std::lock_guard lock(m_queueMutex);
        if (!m_queue.wantsRewrite())
            return;
        rewrite = m_queue.beginRewrite();
    }
    m_queue.writeRewrite(rewrite);
    std::lock_guard lock(m_queueMutex);
    if (!m_queue.finishRewrite(rewrite))
        m_nextRewrite = now + std::chrono::seconds(5);
}

void Publisher::connectToBroker()
{
    m_attemptStarted = Clock::now();
    m_dropReason.clear();
    m_logErrors.clear();
    m_verifyResult = -1;
    m_passPhraseAsked = false;
    m_state.link = PublishState::Link::Connecting;
    if (m_protocol == 0)
        m_protocol = MQTT_PROTOCOL_V5;
    {
        std::lock_guard lock(m_mutex);
        m_base = m_serial ? m_settings.topicFor(*m_serial) : m_settings.baseTopic;
        m_clientId = m_serial ? m_settings.clientIdFor(*m_serial) : m_settings.clientId;
    }
    m_mosq = mosquitto_new(Utf8(m_clientId).constData(), true, this);
    if (!m_mosq) {
        dropConnection(QStringLiteral("out of memory"));
        return;
    }
    mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, m_protocol);
    mosquitto_int_option(m_mosq, MOSQ_OPT_SEND_MAXIMUM, int(InFlight));
    mosquitto_connect_v5_callback_set(m_mosq, &Publisher::connectCallback);
    mosquitto_disconnect_v5_callback_set(m_mosq, &Publisher::disconnectCallback);
    mosquitto_publish_v5_callback_set(m_mosq, &Publisher::publishCallback);
    mosquitto_log_callback_set(m_mosq, &Publisher::logCallback);
    const QByteArray statusTopic = Utf8(m_base + QStringLiteral("/status"));
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
        // A key with a pass phrase is refused, never asked for on a terminal.
        rc = mosquitto_tls_set(m_mosq, OrNull(ca), ca.isEmpty() ? "/etc/ssl/certs" : nullptr, OrNull(cert),
                               OrNull(key), &Publisher::passPhraseCallback);
    }
    if (rc == MOSQ_ERR_SUCCESS)
        rc = mosquitto_connect_async(m_mosq, Utf8(m_settings.host).constData(), m_settings.port, KeepAliveSeconds);
    if (rc == MOSQ_ERR_TLS)
        dropConnection(tlsFailure(rc));
    else if (rc != MOSQ_ERR_SUCCESS)
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
    m_retainedSent.clear();
    m_answers.clear();
    m_newWindow.reset();
    m_dropReason.clear();
    m_state.link = PublishState::Link::Failed;
    m_state.reason = std::move(reason);
    m_nextAttempt = Clock::now() + m_retry;
    m_retry = std::clamp(m_retry * 2, std::chrono::seconds(FirstRetry), std::chrono::seconds(LongestRetry));
}

void Publisher::onConnected(int result, const mqtt5__property* properties)
{
    if (result != 0) {
        // A broker that speaks no MQTT 5 is spoken to in 3.1.1 from the next attempt on,
        // which is tried at once (it cannot tell a refused message, though).
        if (m_protocol == MQTT_PROTOCOL_V5 && (result == UnsupportedProtocolVersion || result == 1)) {
            m_protocol = MQTT_PROTOCOL_V311;
            m_retry = std::chrono::seconds(0);
        }
        m_dropReason = ConnackWords(result);
        return;
    }
    std::uint16_t receiveMaximum = std::uint16_t(InFlight);
    mosquitto_property_read_int16(properties, ReceiveMaximumProperty, &receiveMaximum, false);
    m_connected = true;
    m_retry = FirstRetry;
    m_state.link = PublishState::Link::Connected;
    m_state.reason.clear();
    m_retainedRefused.clear();
    m_queueTold = false;
    m_infoPublished = false;
    m_newWindow = std::min<std::size_t>(InFlight, receiveMaximum);
}

void Publisher::onDisconnected(int result)
{
    if (m_dropReason.isEmpty())
        m_dropReason = result == 0 ? QStringLiteral("disconnected") : QStringLiteral("connection lost");
}

// The broker's answer to a message: taken, or refused with a reason code (MQTT 5). A
// retained one refused is told; a queued one is settled after the network loop.
void Publisher::onAnswered(int mid, int reason)
{
    if (const auto retained = m_retainedSent.find(mid); retained != m_retainedSent.end()) {
        if (reason >= FailureReason)
            m_retainedRefused[retained->second] = QString::fromUtf8(mosquitto_reason_string(reason));
        else
            m_retainedRefused.erase(retained->second);
        m_retainedSent.erase(retained);
        return;
    }
    m_answers.emplace_back(mid, reason);
}

// The network loop. What its callbacks told is applied to the queue after it: they run
// under libmosquitto's own locks, and the queue's is never taken inside them.
int Publisher::loop(int waitMs)
{
    const int rc = mosquitto_loop(m_mosq, waitMs, 1);
    if (!m_newWindow && m_answers.empty())
        return rc;
    std::lock_guard lock(m_queueMutex);
    if (m_newWindow)
        m_window.restart(m_queue.firstSeq(), *m_newWindow);
    m_newWindow.reset();
    m_window.trim(m_queue.firstSeq());
    for (const auto& [mid, reason] : m_answers) {
        const auto seq = m_window.answered(mid);
        if (!seq)
            continue;
        const QString words = QString::fromUtf8(mosquitto_reason_string(reason));
        // A queued message refused stays queued and its topic waits, unless no try can help.
        if (reason < FailureReason)
            m_window.taken(*seq);
        else if (RefusedForGood(reason))
            setAside(*seq, m_queue.at(std::size_t(*seq - m_queue.firstSeq())), QStringLiteral("the broker: %1").arg(words));
        else
            m_window.refused(*seq, words, Clock::now());
    }
    m_answers.clear();
    removeDelivered();
    return rc;
}

void Publisher::removeDelivered()
{
    if (const std::size_t delivered = m_window.takeDelivered())
        m_queue.removeFront(delivered);
}

// Under the queue's lock.
void Publisher::setAside(std::uint64_t seq, const QByteArray& message, const QString& why)
{
    m_window.settled(seq);
    if (!m_queue.setAside(message))
        m_setAsideProblem = QStringLiteral("Cannot keep a damaged message in %1").arg(m_queue.setAsidePath());
    ++m_state.setAside;
    m_state.setAsideFile = m_queue.setAsidePath();
    m_state.setAsideWhy = why;
}

// Sends queued messages while the window and the pace allow; returns how long the loop
// may then wait for the network.
int Publisher::sendWaiting()
{
    const auto now = Clock::now();
    if (m_pace > 0) {
        const std::chrono::duration<double> since = now - m_tokensAt;
        m_tokens = std::min(m_tokens + since.count() * m_pace, double(InFlight));
    }
    m_tokensAt = now;
    std::lock_guard lock(m_queueMutex);
    m_window.trim(m_queue.firstSeq());
    m_nothingToSend = false;
    int waitMs = IdleWaitMs;
    for (;;) {
        if (m_pace > 0 && m_tokens < 1) {
            waitMs = std::max(1, int(std::ceil((1 - m_tokens) * 1000.0 / m_pace)));
            break;
        }
        const auto seq = m_window.next(m_queue.endSeq(), now);
        if (!seq) {
            m_nothingToSend = m_window.inFlight() < m_window.limit();
            if (const auto retry = m_window.nextRetry())
                waitMs = int(std::clamp<qint64>(std::chrono::ceil<std::chrono::milliseconds>(*retry - now).count(), 0,
                                                IdleWaitMs));
            break;
        }
        const QByteArray& line = m_queue.at(std::size_t(*seq - m_queue.firstSeq()));
        QByteArray topic;
        if (const QString damage = Damage(line, topic); !damage.isEmpty()) {
            setAside(*seq, line, damage);
            continue;
        }
        int mid = 0;
        const int rc = mosquitto_publish_v5(m_mosq, &mid, topic.constData(), int(line.size() - topic.size() - 1),
                                            line.constData() + topic.size() + 1, m_settings.qos, false, nullptr);
        if (rc == MOSQ_ERR_SUCCESS) {
            m_window.sent(*seq, mid);
            m_tokens -= 1;
        } else if (MessageFault(rc)) {
            setAside(*seq, line, ErrorText(rc));
        } else {
            m_dropReason = ErrorText(rc);
            break;
        }
    }
    removeDelivered();
    return waitMs;
}

int Publisher::publishRetained(const QString& topic, const QByteArray& payload)
{
    const QByteArray name = Utf8(topic);
    int mid = 0;
    if (mosquitto_publish_v5(m_mosq, &mid, name.constData(), int(payload.size()), payload.constData(), m_settings.qos,
                             true, nullptr)
        != MOSQ_ERR_SUCCESS)
        return -1;
    if (m_settings.qos > 0)
        m_retainedSent[mid] = topic;
    return mid;
}

// The retained messages of a connection: the instrument's info and discovery once known,
// the status whenever it changes, and how the queue fared (<base>/queue) at the start
// and then once a minute at most while drops or damaged messages add up.
void Publisher::publishAnnouncements()
{
    if (m_instrumentKnown && !m_infoPublished) {
        m_infoPublished = true;
        publishRetained(m_base + QStringLiteral("/info"), InfoPayload(m_instrument));
        if (m_settings.homeAssistant)
            for (const auto& [topic, payload] :
                 HomeAssistantConfigs(m_base, m_instrument, m_derived, m_settings.discoveryPrefixOrDefault()))
                publishRetained(topic, payload);
    }
    if (m_status.load(std::memory_order_acquire) != m_publishedStatus || !m_statusPublished) {
        m_publishedStatus = m_status.load(std::memory_order_acquire);
        m_statusPublished = true;
        publishRetained(m_base + QStringLiteral("/status"), StatusWord(m_publishedStatus));
    }
    if (!m_queueTold || m_state.dropped != m_queueToldDropped || m_state.setAside != m_queueToldSetAside) {
        m_queueTold = true;
        m_queueToldDropped = m_state.dropped;
        m_queueToldSetAside = m_state.setAside;
        const QJsonObject queue{{QStringLiteral("since"), m_startedAt},
                                {QStringLiteral("dropped"), qint64(m_state.dropped)},
                                {QStringLiteral("setAside"), qint64(m_state.setAside)}};
        publishRetained(m_base + QStringLiteral("/queue"), QJsonDocument(queue).toJson(QJsonDocument::Compact));
    }
}

// Last words: what is queued goes for a little while (also on a connection still being
// made), then "offline" retained (a clean disconnect sends no will); what is left stays
// in the queue file for the next start.
void Publisher::finish()
{
    takeHandedOver();
    const auto drainUntil = Clock::now() + StopDrain;
    while (m_mosq && m_dropReason.isEmpty() && Clock::now() < drainUntil) {
        if (m_connected) {
            publishAnnouncements();
            sendWaiting();
            if (m_nothingToSend && m_window.inFlight() == 0)
                break;
        } else if (Clock::now() - m_attemptStarted > ConnectTimeout) {
            break;
        }
        if (loop(10) != MOSQ_ERR_SUCCESS)
            break;
    }
    if (m_mosq && m_connected && m_dropReason.isEmpty()) {
        const int mid = publishRetained(m_base + QStringLiteral("/status"), QByteArrayLiteral("offline"));
        const auto until = Clock::now() + std::chrono::seconds(1);
        while (m_retainedSent.contains(mid) && m_dropReason.isEmpty() && Clock::now() < until
               && loop(10) == MOSQ_ERR_SUCCESS) {
        }
        mosquitto_disconnect(m_mosq);
        mosquitto_loop(m_mosq, 0, 1);
    }
    if (m_mosq)
        mosquitto_destroy(m_mosq);
    m_mosq = nullptr;
    m_connected = false;
    {
        std::lock_guard lock(m_queueMutex);
        m_queue.close();
        m_queueOpen = false;
    }
    m_state.link = PublishState::Link::Off;
    report(true);
}

// Tells the state when it changed, the queue's length at most twice a second and the
// dropped count once a minute.
void Publisher::report(bool now)
{
    const auto at = Clock::now();
    {
        std::lock_guard lock(m_queueMutex);
        m_state.queued = qint64(m_queue.size());
        const quint64 dropped = m_queue.droppedCount();
        if (dropped != m_state.dropped && (m_state.dropped == 0 || now || at - m_droppedToldAt >= TellDropsEvery)) {
            m_state.dropped = dropped;
            m_droppedToldAt = at;
        }
        m_state.queueProblem = m_queue.error().isEmpty() ? m_setAsideProblem : m_queue.error();
        QStringList refused;
        for (const QString& r : m_window.refusals())
            refused << r;
        for (const auto& [topic, reason] : m_retainedRefused)
            refused << QStringLiteral("%1: %2").arg(topic, reason);
        m_state.refused = m_connected ? refused.join(QStringLiteral("; ")) : QString();
    }
    if (m_state == m_reported)
        return;
    PublishState countless = m_state;
    countless.queued = m_reported.queued;
    const bool onlyCount = countless == m_reported && m_state.queued != 0;
    if (!now && onlyCount && at - m_reportedAt < std::chrono::milliseconds(500))
        return;
    m_reported = m_state;
    m_reportedAt = at;
    emit stateChanged(m_state);
}

void Publisher::onLog(int level, const char* text)
{
    if (!(level & MOSQ_LOG_ERR))
        return;
    const QString line = QString::fromUtf8(text);
    m_logErrors << line;
    // The connection's SSL is still there while its failure is logged.
    if (line.startsWith(QLatin1String("OpenSSL Error")) && m_verifyResult <= 0)
        m_verifyResult = TlsVerifyResult(mosquitto_ssl_get(m_mosq));
}

// Why TLS failed, in the user's words, from what libmosquitto logged and OpenSSL's
// verification of the broker's certificate.
QString Publisher::tlsFailure(int rc) const
{
    const auto logged = [this](const char* words) {
        return std::any_of(m_logErrors.begin(), m_logErrors.end(),
                           [words](const QString& line) { return line.contains(QLatin1String(words)); });
    };
    const auto lastOpenSsl = [this] {
        for (auto line = m_logErrors.crbegin(); line != m_logErrors.crend(); ++line)
            if (line->startsWith(QLatin1String("OpenSSL Error")))
                return OpenSslReason(*line);
        return QString();
    };
    const QString authorities = m_settings.caFile.isEmpty() ? QStringLiteral("the system's certificate authorities")
                                                            : m_settings.caFile;
    if (m_passPhraseAsked)
        return QStringLiteral("the client key %1 is protected by a pass phrase, which cannot be given here; "
                              "keep it without one (openssl pkey -in KEY -out PLAIN-KEY) where only this account reads it")
            .arg(m_settings.keyFile);
    if (logged("certificate/key are inconsistent") || logged("key values mismatch"))
        return QStringLiteral("the client key %1 does not match the certificate %2").arg(m_settings.keyFile, m_settings.certFile);
    if (logged("Unable to load client key"))
        return QStringLiteral("cannot use the client key %1 (%2)").arg(m_settings.keyFile, lastOpenSsl());
    if (logged("Unable to load client certificate"))
        return QStringLiteral("cannot use the client certificate %1 (%2)").arg(m_settings.certFile, lastOpenSsl());
    if (logged("Unable to load CA certificates"))
        return QStringLiteral("cannot use the certificate authorities in %1 (%2)").arg(authorities, lastOpenSsl());
    if (logged("host name verification failed"))
        return QStringLiteral("the broker's certificate is not made out for %1").arg(m_settings.host);
    switch (m_verifyResult) {
    case CertHasExpired:
        return QStringLiteral("the broker's certificate has expired");
    case CertNotYetValid:
        return QStringLiteral("the broker's certificate is not valid yet (or this computer's clock is wrong)");
    case HostnameMismatch:
    case IpAddressMismatch:
        return QStringLiteral("the broker's certificate is not made out for %1").arg(m_settings.host);
    case CertRevoked:
        return QStringLiteral("the broker's certificate was revoked");
    case UnableToGetIssuerCert:
    case DepthZeroSelfSigned:
    case SelfSignedCertInChain:
    case UnableToGetIssuerCertLocally:
    case UnableToVerifyLeafSignature:
    case CertUntrusted:
        return QStringLiteral("the broker's certificate is not trusted: none of %1 signed it").arg(authorities);
    default:
        break;
    }
    if (const QString reason = lastOpenSsl(); !reason.isEmpty())
        return QStringLiteral("TLS: %1").arg(reason);
    return ErrorText(rc);
}

void Publisher::connectCallback(mosquitto*, void* self, int result, int, const mqtt5__property* properties)
{
    static_cast<Publisher*>(self)->onConnected(result, properties);
}

void Publisher::disconnectCallback(mosquitto*, void* self, int result, const mqtt5__property*)
{
    static_cast<Publisher*>(self)->onDisconnected(result);
}

void Publisher::publishCallback(mosquitto*, void* self, int mid, int reason, const mqtt5__property*)
{
    static_cast<Publisher*>(self)->onAnswered(mid, reason);
}

void Publisher::logCallback(mosquitto*, void* self, int level, const char* text)
{
    static_cast<Publisher*>(self)->onLog(level, text);
}

// OpenSSL asks for the client key's pass phrase: none is given, so it never prompts on a
// terminal (which would block this thread for good); the failure then names the cause.
int Publisher::passPhraseCallback(char*, int, int, void* mosq)
{
    if (auto* self = mosq ? static_cast<Publisher*>(mosquitto_userdata(static_cast<mosquitto*>(mosq))) : nullptr)
        self->m_passPhraseAsked = true;
    return 0;
}

} // namespace hmx
