#include "publish/publisher.h"

#include "instrument/poller.h"
#include "publish/mqtt_p.h"
#include "publish/payloads.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace hmx {

namespace {

using Clock = std::chrono::steady_clock;

// Drops and set-aside messages are told (status line, <base>/queue) once a minute at most.
constexpr std::chrono::seconds TellDropsEvery{60};

QByteArray Utf8(const QString& text)
{
    return text.toUtf8();
}

QByteArray StatusWord(InstrumentStatus status)
{
    return status == InstrumentStatus::Measuring ? QByteArrayLiteral("measuring") : QByteArrayLiteral("searching");
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
    return reason == mqtt::TopicNameInvalid || reason == mqtt::PacketTooLarge || reason == mqtt::PayloadFormatInvalid;
}

QString NotePath(const QString& queuePath)
{
    return queuePath + QStringLiteral(".instrument");
}

} // namespace

Publisher::Publisher(PublishSettings settings, VersionInfo instrument, QString queuePath, QObject* parent)
    : Publisher(std::move(settings), instrument, std::move(queuePath), nullptr, parent)
{
}

Publisher::Publisher(PublishSettings settings, QString queuePath, QObject* parent)
    : Publisher(std::move(settings), std::move(queuePath), nullptr, parent)
{
}

Publisher::Publisher(PublishSettings settings, VersionInfo instrument, QString queuePath,
                     std::shared_ptr<BrokerConnection> broker, QObject* parent)
    : Publisher(std::move(settings), std::move(queuePath), std::move(broker), parent)
{
    m_serial = instrument.serialNumber;
    m_instrumentKnown = true;
    m_instrument = instrument;
    m_status.store(InstrumentStatus::Measuring);
}

Publisher::Publisher(PublishSettings settings, QString queuePath, std::shared_ptr<BrokerConnection> broker,
                     QObject* parent)
    : QObject(parent)
    , m_settings(std::move(settings))
    , m_queuePath(queuePath)
    , m_broker(broker ? std::move(broker) : std::make_shared<BrokerConnection>(m_settings))
    , m_queue(queuePath)
    , m_window([this](std::uint64_t seq) {
        const QByteArray& line = m_queue.at(std::size_t(seq - m_queue.firstSeq()));
        return line.left(line.indexOf(' '));
    })
{
    qRegisterMetaType<hmx::PublishState>();
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
    if (m_started)
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
    m_started = true;
    m_broker->attach(*this);
    return opened;
}

void Publisher::stop()
{
    if (!m_started)
        return;
    m_started = false;
    m_broker->detach(*this);
}

void Publisher::setPassword(const QString& password)
{
    m_settings.password = password;
    m_broker->setPassword(password);
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
    m_broker->wake();
}

ChannelIdentity Publisher::identity() const
{
    std::lock_guard lock(m_mutex);
    return {m_serial ? m_settings.topicFor(*m_serial) : m_settings.baseTopic, m_serial};
}

void Publisher::tend(BrokerConnection& link, bool up)
{
    std::optional<VersionInfo> instrument;
    {
        std::lock_guard lock(m_mutex);
        instrument.swap(m_handedInstrument);
    }
    if (instrument) {
        m_instrument = *instrument;
        m_instrumentKnown = true;
        m_infoPublished = false;
    }
    // Another instrument than the note said has its own base topic: "offline" for the one
    // before, and the retained messages anew under the new one.
    if (const QString base = identity().base; base != m_base) {
        if (up && !m_base.isEmpty())
            publishRetained(link, m_base + QStringLiteral("/status"), QByteArrayLiteral("offline"));
        m_base = base;
        m_infoPublished = false;
        m_statusPublished = false;
        m_queueTold = false;
    }
    rewriteQueueIfDue();
    std::lock_guard lock(m_queueMutex);
    m_queue.sync();  // readings handed over without syncQueue()
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

void Publisher::linkUp(std::size_t limit)
{
    {
        std::lock_guard lock(m_queueMutex);
        m_window.restart(m_queue.firstSeq(), limit);
    }
    m_retainedRefused.clear();
    m_queueTold = false;
    m_infoPublished = false;
    m_statusPublished = false;
}

void Publisher::linkDown()
{
    m_retainedSent.clear();
    m_statusPublished = false;
}

// The broker's answers: a retained message refused is told; a queued one taken leaves the
// queue, refused it stays queued and its topic waits, unless no try can help.
void Publisher::answered(const std::vector<std::pair<int, int>>& answers)
{
    std::vector<std::pair<int, int>> queued;
    for (const auto& [mid, reason] : answers) {
        if (const auto retained = m_retainedSent.find(mid); retained != m_retainedSent.end()) {
            if (reason >= mqtt::FailureReason)
                m_retainedRefused[retained->second] = QString::fromUtf8(mosquitto_reason_string(reason));
            else
                m_retainedRefused.erase(retained->second);
            m_retainedSent.erase(retained);
        } else {
            queued.emplace_back(mid, reason);
        }
    }
    if (queued.empty())
        return;
    std::lock_guard lock(m_queueMutex);
    m_window.trim(m_queue.firstSeq());
    for (const auto& [mid, reason] : queued) {
        const auto seq = m_window.answered(mid);
        if (!seq)
            continue;
        const QString words = QString::fromUtf8(mosquitto_reason_string(reason));
        if (reason < mqtt::FailureReason)
            m_window.taken(*seq);
        else if (RefusedForGood(reason))
            setAside(*seq, m_queue.at(std::size_t(*seq - m_queue.firstSeq())), QStringLiteral("the broker: %1").arg(words));
        else
            m_window.refused(*seq, words, Clock::now());
    }
    removeDelivered();
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

// The next queued message the send window allows; damaged ones on the way are set aside.
BrokerChannel::Sent Publisher::sendNext(BrokerConnection& link, Clock::time_point now)
{
    if (m_base.isEmpty())
        return Sent::Nothing;  // no instrument known nor noted: its messages wait for its name
    std::lock_guard lock(m_queueMutex);
    m_window.trim(m_queue.firstSeq());
    Sent sent = Sent::Nothing;
    while (const auto seq = m_window.next(m_queue.endSeq(), now)) {
        const QByteArray& line = m_queue.at(std::size_t(*seq - m_queue.firstSeq()));
        QByteArray topic;
        if (const QString damage = Damage(line, topic); !damage.isEmpty()) {
            setAside(*seq, line, damage);
            continue;
        }
        int mid = 0;
        const int rc = link.publish(*this, topic, line.constData() + topic.size() + 1,
                                    int(line.size() - topic.size() - 1), m_settings.qos, false, mid);
        if (rc == MOSQ_ERR_SUCCESS) {
            m_window.sent(*seq, mid);
            sent = Sent::One;
        } else if (MessageFault(rc)) {
            setAside(*seq, line, mqtt::ErrorText(rc));
            continue;
        } else {
            link.fail(mqtt::ErrorText(rc));
            sent = Sent::Broken;
        }
        break;
    }
    removeDelivered();
    return sent;
}

std::size_t Publisher::inFlight()
{
    std::lock_guard lock(m_queueMutex);
    return m_window.inFlight();
}

std::optional<Clock::time_point> Publisher::nextRetry()
{
    std::lock_guard lock(m_queueMutex);
    return m_window.nextRetry();
}

int Publisher::publishRetained(BrokerConnection& link, const QString& topic, const QByteArray& payload)
{
    const QByteArray name = Utf8(topic);
    int mid = 0;
    if (link.publish(*this, name, payload.constData(), int(payload.size()), m_settings.qos, true, mid)
        != MOSQ_ERR_SUCCESS)
        return -1;
    if (m_settings.qos > 0)
        m_retainedSent[mid] = topic;
    return mid;
}

// The retained messages of a connection: the instrument's info and discovery once known,
// the status whenever it changes, and how the queue fared (<base>/queue) at the start
// and then once a minute at most while drops or damaged messages add up.
void Publisher::announce(BrokerConnection& link)
{
    if (m_base.isEmpty())
        return;
    if (m_instrumentKnown && !m_infoPublished) {
        m_infoPublished = true;
        publishRetained(link, m_base + QStringLiteral("/info"), InfoPayload(m_instrument));
        if (m_settings.homeAssistant)
            for (const auto& [topic, payload] :
                 HomeAssistantConfigs(m_base, m_instrument, m_derived, m_settings.discoveryPrefixOrDefault()))
                publishRetained(link, topic, payload);
    }
    if (m_status.load(std::memory_order_acquire) != m_publishedStatus || !m_statusPublished) {
        m_publishedStatus = m_status.load(std::memory_order_acquire);
        m_statusPublished = true;
        publishRetained(link, m_base + QStringLiteral("/status"), StatusWord(m_publishedStatus));
    }
    if (!m_queueTold || m_state.dropped != m_queueToldDropped || m_state.setAside != m_queueToldSetAside) {
        m_queueTold = true;
        m_queueToldDropped = m_state.dropped;
        m_queueToldSetAside = m_state.setAside;
        const QJsonObject queue{{QStringLiteral("since"), m_startedAt},
                                {QStringLiteral("dropped"), qint64(m_state.dropped)},
                                {QStringLiteral("setAside"), qint64(m_state.setAside)}};
        publishRetained(link, m_base + QStringLiteral("/queue"), QJsonDocument(queue).toJson(QJsonDocument::Compact));
    }
}

// Last words, once what is queued went (or StopDrain passed): "offline" retained (a
// clean disconnect sends no will, and a shared connection goes on).
int Publisher::sayOffline(BrokerConnection& link)
{
    if (m_base.isEmpty())
        return -1;
    const int mid = publishRetained(link, m_base + QStringLiteral("/status"), QByteArrayLiteral("offline"));
    return m_retainedSent.contains(mid) ? mid : -1;
}

// What is left stays in the queue file for the next start.
void Publisher::leave()
{
    {
        std::lock_guard lock(m_queueMutex);
        m_queue.close();
        m_queueOpen = false;
    }
    m_retainedSent.clear();
    report({PublishState::Link::Off, m_state.reason, false}, true);
}

// Tells the state when it changed, the queue's length at most twice a second and the
// dropped count once a minute.
void Publisher::report(const LinkState& link, bool now)
{
    m_state.link = link.link;
    m_state.reason = link.reason;
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
        m_state.refused = link.connected ? refused.join(QStringLiteral("; ")) : QString();
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

} // namespace hmx
