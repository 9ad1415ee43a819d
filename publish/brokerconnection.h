// One connection to the MQTT broker for all the instruments of a process (libmosquitto,
// MQTT 5 so that a refused message is told and kept, 3.1.1 for a broker without it): a
// thread of its own connects, reconnects with backoff, and sends the queued messages of
// its channels (one Publisher per instrument, each with its own queue file) in turn,
// within one in-flight limit and one pace, so a plant's broker sees one client.
//
// Its name: the settings' client id when set, else "hmx700-<serial number>" of the first
// channel (in the order they started) whose instrument is known or noted; it connects
// once it has one. Its last will, one message per connection, is "offline" retained on
// that channel's <base>/status; every channel says "offline" itself when it stops in
// order. The name and the will are chosen again on each new connection; the first
// channel's instrument changing makes a new connection at once, the first channel
// stopping does not (the others keep the connection they use).
#pragma once

#include "publish/brokerchannel.h"
#include "publish/publishsettings.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

struct mosquitto;
struct mqtt5__property;

namespace hmx {

class BrokerConnection {
public:
    using Clock = std::chrono::steady_clock;
    // Reconnection waits 1 s after a failure, doubling up to 60 s.
    static constexpr std::chrono::seconds FirstRetry{1};
    static constexpr std::chrono::seconds LongestRetry{60};
    // Messages sent and not yet acknowledged at most (fewer when the broker asks for fewer).
    static constexpr std::size_t InFlight = 10;
    // Messages sent a second at most: a broker keeps 1000 messages for each subscriber by
    // default (Mosquitto's max_queued_messages) and drops the rest, so a subscriber may
    // pause for two seconds while a backlog drains and lose nothing.
    static constexpr int DrainPace = 500;
    // A channel's orderly stop sends what it has queued for this long at most, then "offline".
    static constexpr std::chrono::seconds StopDrain{2};

    // `broker`: the host, port, TLS, account, client id and the last will's QoS, the same
    // for all its channels (their own settings give the topics, QoS and discovery).
    explicit BrokerConnection(PublishSettings broker);
    ~BrokerConnection();  // after its channels stopped

    // Whether `settings` name the same broker and account, so that a channel with them may
    // use this connection; settings naming no client id take the connection's.
    bool serves(const PublishSettings& settings) const;
    // Thread-safe: a password that came later (from a key store), from the next attempt on.
    void setPassword(const QString& password);
    // Before the first channel starts: messages sent a second at most; 0: as fast as the
    // broker acknowledges.
    void setDrainPace(int perSecond) { m_pace.store(perSecond, std::memory_order_relaxed); }
    // Thread-safe: the client id of the latest connection attempt; empty before the first.
    QString clientId() const;

    // The channel side. attach(): thread-safe, the channel takes part from the next round
    // (the thread starts with the first). detach(): thread-safe, returns once the channel
    // said its last words and left; the last one leaving ends the connection.
    void attach(BrokerChannel& channel);
    void detach(BrokerChannel& channel);
    // Thread-safe: a channel was handed something.
    void wake();
    // On the connection's thread, while a channel is asked: publishes, and the answer to
    // `mid` goes to `from`. Returns libmosquitto's result.
    int publish(BrokerChannel& from, const QByteArray& topic, const char* payload, int size, int qos, bool retain,
                int& mid);
    // On the connection's thread: the connection failed for this reason.
    void fail(const QString& reason);

    BrokerConnection(const BrokerConnection&) = delete;
    BrokerConnection& operator=(const BrokerConnection&) = delete;

private:
    struct Member {
        BrokerChannel* channel = nullptr;
        bool idle = false;  // found nothing to send in this round
        // Stopping: sends until drained or `until`, then "offline" awaited until `until` again.
        bool leaving = false;
        bool saidOffline = false;
        int offlineMid = -1;
        Clock::time_point until;
    };
    struct Name {
        QString clientId;
        QString willTopic;
        BrokerChannel* namer = nullptr;
        ChannelIdentity identity;  // the namer's when chosen
    };

    void run();
    void takeRequests();
    std::optional<Name> chooseName() const;
    void renameIfDue();
    void connectToBroker(const Name& name);
    void forgetClient();
    void dropConnection(QString reason);
    void closeConnection();
    int sendWaiting();
    void settleLeaving();
    bool loopFailed(int rc);
    int loop(int waitMs);
    void reportAll(bool now);
    LinkState linkState() const;
    void onConnected(int result, const mqtt5__property* properties);
    void onDisconnected(int result);
    void onLog(int level, const char* text);
    bool waitUntil(Clock::time_point until);

    static void connectCallback(mosquitto*, void* self, int result, int flags, const mqtt5__property* properties);
    static void disconnectCallback(mosquitto*, void* self, int result, const mqtt5__property* properties);
    static void publishCallback(mosquitto*, void* self, int mid, int reason, const mqtt5__property* properties);
    static void logCallback(mosquitto*, void* self, int level, const char* text);
    static int passPhraseCallback(char* buffer, int size, int rwflag, void* mosq);

    std::atomic<int> m_pace{DrainPace};
    std::thread m_thread;
    std::atomic<bool> m_running{false};

    mutable std::mutex m_mutex;  // the settings, the requests, the wake-up
    std::condition_variable m_wake;
    std::condition_variable m_left;
    PublishSettings m_settings;
    bool m_woken = false;
    std::vector<BrokerChannel*> m_joining;
    std::vector<BrokerChannel*> m_leaving;
    std::vector<BrokerChannel*> m_gone;  // left, for detach() to see
    QString m_clientId;

    // The connection's thread only.
    std::vector<Member> m_members;  // in the order they started
    std::size_t m_turn = 0;         // whose message goes next
    mosquitto* m_mosq = nullptr;
    int m_protocol = 0;  // MQTT 5, or 3.1.1 for a broker that speaks no 5
    bool m_connected = false;
    Name m_name;  // of this connection
    PublishSettings m_used;  // the settings of this connection attempt
    QString m_dropReason;
    std::size_t m_limit = InFlight;
    std::optional<std::size_t> m_accepted;            // a connection accepted: the window's limit
    std::vector<std::pair<int, int>> m_answers;       // message id, reason: settled after the loop
    std::unordered_map<int, BrokerChannel*> m_sentBy;  // message id -> the channel that sent it
    double m_tokens = 0;
    Clock::time_point m_tokensAt;
    std::chrono::seconds m_retry = FirstRetry;
    Clock::time_point m_nextAttempt;
    Clock::time_point m_attemptStarted;
    PublishState::Link m_link = PublishState::Link::Connecting;
    QString m_reason;
    // What libmosquitto said while connecting, for a TLS failure's cause.
    QStringList m_logErrors;
    long m_verifyResult = -1;
    bool m_passPhraseAsked = false;
};

} // namespace hmx
