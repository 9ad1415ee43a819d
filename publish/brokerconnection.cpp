#include "publish/brokerconnection.h"

#include "publish/brokerfailure.h"
#include "publish/mqtt_p.h"
#include "publish/tlsverify.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace hmx {

namespace {

using Clock = BrokerConnection::Clock;

// A connection attempt that has not been accepted by then counts as failed.
constexpr std::chrono::seconds ConnectTimeout{15};
constexpr int KeepAliveSeconds = 30;
// How long the loop waits for the network when nothing is to be sent.
constexpr int IdleWaitMs = 100;
// ... and while a channel says its last words.
constexpr int LeavingWaitMs = 10;
// How long a channel's "offline" may take to be acknowledged.
constexpr std::chrono::seconds OfflineWait{1};

QByteArray Utf8(const QString& text)
{
    return text.toUtf8();
}

} // namespace

BrokerConnection::BrokerConnection(PublishSettings broker)
    : m_settings(std::move(broker))
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

BrokerConnection::~BrokerConnection()
{
    {
        std::lock_guard lock(m_mutex);
        m_running.store(false, std::memory_order_release);
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

bool BrokerConnection::serves(const PublishSettings& s) const
{
    std::lock_guard lock(m_mutex);
    const PublishSettings& b = m_settings;
    return s.host == b.host && s.port == b.port && s.tls == b.tls && s.caFile == b.caFile && s.certFile == b.certFile
        && s.keyFile == b.keyFile && s.user == b.user && (s.clientId.isEmpty() || s.clientId == b.clientId);
}

void BrokerConnection::setPassword(const QString& password)
{
    std::lock_guard lock(m_mutex);
    m_settings.password = password;
}

QString BrokerConnection::clientId() const
{
    std::lock_guard lock(m_mutex);
    return m_clientId;
}

void BrokerConnection::attach(BrokerChannel& channel)
{
    {
        std::lock_guard lock(m_mutex);
        m_joining.push_back(&channel);
        m_woken = true;
        if (!m_thread.joinable()) {
            m_running.store(true, std::memory_order_release);
            m_thread = std::thread([this] { run(); });
        }
    }
    m_wake.notify_one();
}

void BrokerConnection::detach(BrokerChannel& channel)
{
    std::unique_lock lock(m_mutex);
    if (!m_thread.joinable())
        return;
    m_leaving.push_back(&channel);
    m_woken = true;
    m_wake.notify_one();
    m_left.wait(lock, [&] { return std::find(m_gone.begin(), m_gone.end(), &channel) != m_gone.end(); });
    std::erase(m_gone, &channel);
}

void BrokerConnection::wake()
{
    {
        std::lock_guard lock(m_mutex);
        m_woken = true;
    }
    m_wake.notify_one();
}

bool BrokerConnection::waitUntil(Clock::time_point until)
{
    std::unique_lock lock(m_mutex);
    const bool woken = m_wake.wait_until(lock, until, [this] {
        return !m_running.load(std::memory_order_acquire) || m_woken;
    });
    m_woken = false;
    return !woken;
}

int BrokerConnection::publish(BrokerChannel& from, const QByteArray& topic, const char* payload, int size, int qos,
                              bool retain, int& mid)
{
    if (!m_mosq)
        return MOSQ_ERR_NO_CONN;
    const int rc = mosquitto_publish_v5(m_mosq, &mid, topic.constData(), size, payload, qos, retain, nullptr);
    if (rc == MOSQ_ERR_SUCCESS)
        m_sentBy[mid] = &from;
    return rc;
}

void BrokerConnection::fail(const QString& reason)
{
    m_dropReason = reason;
}

void BrokerConnection::run()
{
    m_nextAttempt = Clock::now();
    m_tokensAt = Clock::now();
    for (;;) {
        takeRequests();
        if (!m_running.load(std::memory_order_acquire))
            break;
        if (m_members.empty()) {
            waitUntil(Clock::now() + std::chrono::hours(1));
            continue;
        }
        for (Member& m : m_members)
            m.channel->tend(*this, m_connected);
        renameIfDue();
        if (!m_mosq && Clock::now() >= m_nextAttempt)
            if (const auto name = chooseName())
                connectToBroker(*name);
        if (!m_mosq) {
            settleLeaving();
            if (!m_members.empty())
                waitUntil(std::min(m_nextAttempt, Clock::now() + std::chrono::seconds(1)));
            reportAll(false);
            continue;
        }
        int waitMs = IdleWaitMs;
        if (m_connected) {
            for (Member& m : m_members)
                m.channel->announce(*this);
            waitMs = sendWaiting();
        }
        if (std::any_of(m_members.begin(), m_members.end(), [](const Member& m) { return m.leaving; }))
            waitMs = std::min(waitMs, LeavingWaitMs);
        const int rc = loop(waitMs);
        if (!m_dropReason.isEmpty())
            dropConnection(m_dropReason);
        else if (rc == MOSQ_ERR_TLS)
            dropConnection(TlsFailureWords({m_logErrors, m_verifyResult, m_passPhraseAsked}, m_used, rc));
        else if (rc != MOSQ_ERR_SUCCESS)
            dropConnection(mqtt::ErrorText(rc));
        else if (!m_connected && Clock::now() - m_attemptStarted > ConnectTimeout)
            dropConnection(QStringLiteral("no answer from %1:%2").arg(m_used.host).arg(m_used.port));
        settleLeaving();
        reportAll(false);
    }
    closeConnection();
}

// Channels join at the end of the turn, and leave once their last words are said.
void BrokerConnection::takeRequests()
{
    std::vector<BrokerChannel*> joining;
    std::vector<BrokerChannel*> leaving;
    {
        std::lock_guard lock(m_mutex);
        joining.swap(m_joining);
        leaving.swap(m_leaving);
    }
    for (BrokerChannel* channel : joining) {
        Member member;
        member.channel = channel;
        m_members.push_back(member);
        if (m_link == PublishState::Link::Off)
            m_link = PublishState::Link::Connecting;
        if (m_connected)
            channel->linkUp(m_limit);
        channel->report(linkState(), true);
    }
    for (BrokerChannel* channel : leaving) {
        const auto member = std::find_if(m_members.begin(), m_members.end(),
                                         [channel](const Member& m) { return m.channel == channel; });
        if (member == m_members.end()) {
            {
                std::lock_guard lock(m_mutex);
                m_gone.push_back(channel);
            }
            m_left.notify_all();
            continue;
        }
        member->leaving = true;
        member->idle = false;
        member->until = Clock::now() + StopDrain;
    }
}

// The first channel (in the order they started) that can name the connection does.
std::optional<BrokerConnection::Name> BrokerConnection::chooseName() const
{
    QString clientId;
    {
        std::lock_guard lock(m_mutex);
        clientId = m_settings.clientId;
    }
    for (const Member& m : m_members) {
        if (m.leaving)
            continue;
        const ChannelIdentity identity = m.channel->identity();
        if (identity.base.isEmpty() || (clientId.isEmpty() && !identity.serial))
            continue;
        return Name{clientId.isEmpty() ? QStringLiteral("hmx700-%1").arg(*identity.serial) : clientId,
                    identity.base + QStringLiteral("/status"), m.channel, identity};
    }
    return std::nullopt;
}

// The channel that named the connection measures another instrument now: its client id
// or will would be another's, so the connection makes way for one under the new name
// (the channel said "offline" for the one before in its tend()).
void BrokerConnection::renameIfDue()
{
    if (!m_mosq || !m_name.namer)
        return;
    const auto namer = std::find_if(m_members.begin(), m_members.end(),
                                    [this](const Member& m) { return m.channel == m_name.namer && !m.leaving; });
    if (namer == m_members.end())
        return;  // it stopped: the others keep the connection, named as it was
    const ChannelIdentity identity = namer->channel->identity();
    if (identity == m_name.identity)
        return;
    const QString clientId = m_used.clientId.isEmpty() && identity.serial
                                 ? QStringLiteral("hmx700-%1").arg(*identity.serial)
                                 : m_used.clientId;
    if (clientId == m_name.clientId && identity.base + QStringLiteral("/status") == m_name.willTopic) {
        m_name.identity = identity;
        return;
    }
    if (m_connected) {
        mosquitto_disconnect(m_mosq);
        mosquitto_loop(m_mosq, 0, 1);
    }
    dropConnection({});
    m_link = PublishState::Link::Connecting;
    m_nextAttempt = Clock::now();
    m_retry = FirstRetry;
}

void BrokerConnection::connectToBroker(const Name& name)
{
    m_attemptStarted = Clock::now();
    m_dropReason.clear();
    m_logErrors.clear();
    m_verifyResult = -1;
    m_passPhraseAsked = false;
    m_link = PublishState::Link::Connecting;
    if (m_protocol == 0)
        m_protocol = MQTT_PROTOCOL_V5;
    m_name = name;
    {
        std::lock_guard lock(m_mutex);
        m_used = m_settings;
        m_clientId = name.clientId;
    }
    m_mosq = mosquitto_new(Utf8(name.clientId).constData(), true, this);
    if (!m_mosq) {
        dropConnection(QStringLiteral("out of memory"));
        return;
    }
    mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, m_protocol);
    mosquitto_int_option(m_mosq, MOSQ_OPT_SEND_MAXIMUM, int(InFlight));
    mosquitto_connect_v5_callback_set(m_mosq, &BrokerConnection::connectCallback);
    mosquitto_disconnect_v5_callback_set(m_mosq, &BrokerConnection::disconnectCallback);
    mosquitto_publish_v5_callback_set(m_mosq, &BrokerConnection::publishCallback);
    mosquitto_log_callback_set(m_mosq, &BrokerConnection::logCallback);
    const QByteArray willTopic = Utf8(name.willTopic);
    mosquitto_will_set(m_mosq, willTopic.constData(), 7, "offline", m_used.qos, true);
    int rc = MOSQ_ERR_SUCCESS;
    if (!m_used.user.isEmpty())
        rc = mosquitto_username_pw_set(m_mosq, Utf8(m_used.user).constData(), mqtt::OrNull(Utf8(m_used.password)));
    if (rc == MOSQ_ERR_SUCCESS && m_used.tls) {
        const QByteArray ca = QFile::encodeName(m_used.caFile);
        const QByteArray cert = QFile::encodeName(m_used.certFile);
        const QByteArray key = QFile::encodeName(m_used.keyFile);
        for (const QString& file : {m_used.caFile, m_used.certFile, m_used.keyFile})
            if (!file.isEmpty() && !QFileInfo(file).isReadable()) {
                dropConnection(QStringLiteral("cannot read %1").arg(file));
                return;
            }
        if (ca.isEmpty())
            mosquitto_int_option(m_mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        // A key with a pass phrase is refused, never asked for on a terminal.
        rc = mosquitto_tls_set(m_mosq, mqtt::OrNull(ca), ca.isEmpty() ? "/etc/ssl/certs" : nullptr, mqtt::OrNull(cert),
                               mqtt::OrNull(key), &BrokerConnection::passPhraseCallback);
    }
    if (rc == MOSQ_ERR_SUCCESS)
        rc = mosquitto_connect_async(m_mosq, Utf8(m_used.host).constData(), m_used.port, KeepAliveSeconds);
    if (rc == MOSQ_ERR_TLS)
        dropConnection(TlsFailureWords({m_logErrors, m_verifyResult, m_passPhraseAsked}, m_used, rc));
    else if (rc != MOSQ_ERR_SUCCESS)
        dropConnection(mqtt::ErrorText(rc));
}

// The client gone, with what it had in flight.
void BrokerConnection::forgetClient()
{
    if (m_mosq)
        mosquitto_destroy(m_mosq);
    m_mosq = nullptr;
    m_connected = false;
    m_sentBy.clear();
    m_answers.clear();
    m_accepted.reset();
    m_dropReason.clear();
}

// Ends this connection. Whatever it had sent without acknowledgement goes again on the
// next one: the channels' queues, not the library, keep the messages.
void BrokerConnection::dropConnection(QString reason)
{
    forgetClient();
    for (Member& m : m_members)
        m.channel->linkDown();
    m_link = PublishState::Link::Failed;
    m_reason = std::move(reason);
    m_nextAttempt = Clock::now() + m_retry;
    m_retry = std::clamp(m_retry * 2, std::chrono::seconds(FirstRetry), std::chrono::seconds(LongestRetry));
}

// The last channel left (or the connection ends): a clean disconnect, which sends no will.
void BrokerConnection::closeConnection()
{
    if (m_mosq && m_connected) {
        mosquitto_disconnect(m_mosq);
        mosquitto_loop(m_mosq, 0, 1);
    }
    forgetClient();
    m_link = PublishState::Link::Off;
    m_reason.clear();
    m_retry = FirstRetry;
    m_nextAttempt = Clock::now();
}

// Sends the channels' queued messages in turn, one each, while the in-flight limit and
// the pace allow; returns how long the loop may then wait for the network.
int BrokerConnection::sendWaiting()
{
    const auto now = Clock::now();
    const int pace = m_pace.load(std::memory_order_relaxed);
    if (pace > 0) {
        const std::chrono::duration<double> since = now - m_tokensAt;
        m_tokens = std::min(m_tokens + since.count() * pace, double(InFlight));
    }
    m_tokensAt = now;
    std::size_t inFlight = 0;
    for (Member& m : m_members) {
        m.idle = false;
        inFlight += m.channel->inFlight();
    }
    int waitMs = IdleWaitMs;
    const std::size_t count = m_members.size();
    for (std::size_t idleRun = 0; idleRun < count;) {
        if (pace > 0 && m_tokens < 1) {
            waitMs = std::max(1, int(std::ceil((1 - m_tokens) * 1000.0 / pace)));
            break;
        }
        if (inFlight >= m_limit)
            break;
        Member& m = m_members[m_turn % count];
        m_turn = (m_turn + 1) % count;
        if (m.idle) {
            ++idleRun;
            continue;
        }
        const BrokerChannel::Sent sent = m.channel->sendNext(*this, now);
        if (sent == BrokerChannel::Sent::Broken)
            return waitMs;
        if (sent == BrokerChannel::Sent::One) {
            m_tokens -= 1;
            ++inFlight;
            idleRun = 0;
        } else {
            m.idle = true;
            ++idleRun;
        }
    }
    for (Member& m : m_members)
        if (const auto retry = m.channel->nextRetry())
            waitMs = std::min(waitMs, int(std::clamp<qint64>(
                                          std::chrono::ceil<std::chrono::milliseconds>(*retry - now).count(), 0,
                                          IdleWaitMs)));
    return waitMs;
}

// Channels that stop: what they queued goes for StopDrain at most (also on a connection
// still being made), then "offline" retained, awaited a second at most; what is left stays
// in their queue files. The last one leaving closes the connection.
void BrokerConnection::settleLeaving()
{
    const auto now = Clock::now();
    for (auto member = m_members.begin(); member != m_members.end();) {
        Member& m = *member;
        bool done = false;
        if (!m.leaving) {
        } else if (!m_mosq) {
            done = true;
        } else if (!m.saidOffline) {
            if (m_connected && ((m.idle && m.channel->inFlight() == 0) || now >= m.until)) {
                m.offlineMid = m.channel->sayOffline(*this);
                m.saidOffline = true;
                m.until = now + OfflineWait;
                done = m.offlineMid < 0;
            } else if (!m_connected && now >= m.until) {
                done = true;
            }
        } else {
            done = !m.channel->awaits(m.offlineMid) || now >= m.until;
        }
        if (!done) {
            ++member;
            continue;
        }
        BrokerChannel* channel = m.channel;
        std::erase_if(m_sentBy, [channel](const auto& sent) { return sent.second == channel; });
        member = m_members.erase(member);
        if (m_members.empty())
            closeConnection();
        channel->leave();
        {
            std::lock_guard lock(m_mutex);
            m_gone.push_back(channel);
        }
        m_left.notify_all();
    }
}

// The network loop. What its callbacks told goes to the channels after it: they run under
// libmosquitto's own locks, and no channel's is taken inside them.
int BrokerConnection::loop(int waitMs)
{
    const int rc = mosquitto_loop(m_mosq, waitMs, 1);
    if (m_accepted) {
        m_limit = *m_accepted;
        m_accepted.reset();
        for (Member& m : m_members) {
            m.idle = false;
            m.channel->linkUp(m_limit);
        }
    }
    if (m_answers.empty())
        return rc;
    std::vector<std::pair<BrokerChannel*, std::vector<std::pair<int, int>>>> answers;
    for (const auto& [mid, reason] : m_answers) {
        const auto sent = m_sentBy.find(mid);
        if (sent == m_sentBy.end())
            continue;
        auto to = std::find_if(answers.begin(), answers.end(), [&](const auto& a) { return a.first == sent->second; });
        if (to == answers.end())
            to = answers.insert(answers.end(), {sent->second, {}});
        to->second.emplace_back(mid, reason);
        m_sentBy.erase(sent);
    }
    m_answers.clear();
    for (const auto& [channel, theirs] : answers)
        channel->answered(theirs);
    return rc;
}

LinkState BrokerConnection::linkState() const
{
    return {m_link, m_reason, m_connected};
}

void BrokerConnection::reportAll(bool now)
{
    const LinkState link = linkState();
    for (Member& m : m_members)
        m.channel->report(link, now);
}

void BrokerConnection::onConnected(int result, const mqtt5__property* properties)
{
    if (result != 0) {
        // A broker that speaks no MQTT 5 is spoken to in 3.1.1 from the next attempt on,
        // which is tried at once (it cannot tell a refused message, though).
        if (m_protocol == MQTT_PROTOCOL_V5 && (result == mqtt::UnsupportedProtocolVersion || result == 1)) {
            m_protocol = MQTT_PROTOCOL_V311;
            m_retry = std::chrono::seconds(0);
        }
        m_dropReason = ConnackWords(result);
        return;
    }
    std::uint16_t receiveMaximum = std::uint16_t(InFlight);
    mosquitto_property_read_int16(properties, mqtt::ReceiveMaximumProperty, &receiveMaximum, false);
    m_connected = true;
    m_retry = FirstRetry;
    m_link = PublishState::Link::Connected;
    m_reason.clear();
    m_accepted = std::min<std::size_t>(InFlight, receiveMaximum);
}

void BrokerConnection::onDisconnected(int result)
{
    if (m_dropReason.isEmpty())
        m_dropReason = result == 0 ? QStringLiteral("disconnected") : QStringLiteral("connection lost");
}

void BrokerConnection::onLog(int level, const char* text)
{
    if (!(level & MOSQ_LOG_ERR))
        return;
    const QString line = QString::fromUtf8(text);
    m_logErrors << line;
    // The connection's SSL is still there while its failure is logged.
    if (line.startsWith(QLatin1String("OpenSSL Error")) && m_verifyResult <= 0)
        m_verifyResult = TlsVerifyResult(mosquitto_ssl_get(m_mosq));
}

void BrokerConnection::connectCallback(mosquitto*, void* self, int result, int, const mqtt5__property* properties)
{
    static_cast<BrokerConnection*>(self)->onConnected(result, properties);
}

void BrokerConnection::disconnectCallback(mosquitto*, void* self, int result, const mqtt5__property*)
{
    static_cast<BrokerConnection*>(self)->onDisconnected(result);
}

// The broker's answer to a message: taken, or refused with a reason code (MQTT 5); told to
// the channel that sent it after the network loop.
void BrokerConnection::publishCallback(mosquitto*, void* self, int mid, int reason, const mqtt5__property*)
{
    static_cast<BrokerConnection*>(self)->m_answers.emplace_back(mid, reason);
}

void BrokerConnection::logCallback(mosquitto*, void* self, int level, const char* text)
{
    static_cast<BrokerConnection*>(self)->onLog(level, text);
}

// OpenSSL asks for the client key's pass phrase: none is given, so it never prompts on a
// terminal (which would block this thread for good); the failure then names the cause.
int BrokerConnection::passPhraseCallback(char*, int, int, void* mosq)
{
    if (auto* self = mosq ? static_cast<BrokerConnection*>(mosquitto_userdata(static_cast<mosquitto*>(mosq))) : nullptr)
        self->m_passPhraseAsked = true;
    return 0;
}

} // namespace hmx
