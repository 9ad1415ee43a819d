// The publisher: a thread of its own that sends the readings of the on-disk queue, in
// order, to the MQTT broker whenever it can be reached (libmosquitto, MQTT 5, so that a
// refused message is told and kept). Readings are written to the queue file by the
// thread that hands them over, before their log line, so the queue never holds less than
// the log; the thread never waits on the Poller nor the Poller on it.
// Topics under the base topic: reading (queued, QoS as set), status, info and queue
// (retained; the last will sets status to "offline"), event (queued like readings).
#pragma once

#include "instrument/derived.h"
#include "link/protocol.h"
#include "publish/diskqueue.h"
#include "publish/publishsettings.h"
#include "publish/sendwindow.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

struct mosquitto;
struct mqtt5__property;

namespace hmx {

class Poller;
struct Reading;

// What the publisher is doing, for a status line.
struct PublishState {
    enum class Link { Off, Connecting, Connected, Failed };
    Link link = Link::Off;
    QString reason;         // Failed: the broker's or the system's words
    QString refused;        // topics whose messages the broker refuses ("a/reading: Not authorized"); they wait
    qint64 queued = 0;      // messages not yet delivered
    quint64 dropped = 0;    // oldest messages dropped because the queue was full (told once a minute)
    quint64 setAside = 0;   // damaged messages moved out of the queue, to setAsideFile
    QString setAsideFile;
    QString setAsideWhy;    // what was wrong with the last of them
    QString queueProblem;   // the queue file cannot be written (messages kept in memory)
    bool operator==(const PublishState&) const = default;
};

enum class InstrumentStatus { Measuring, Searching };

class Publisher : public QObject {
    Q_OBJECT
public:
    // Reconnection waits 1 s after a failure, doubling up to 60 s.
    static constexpr std::chrono::seconds FirstRetry{1};
    static constexpr std::chrono::seconds LongestRetry{60};
    // Messages sent and not yet acknowledged at most (fewer when the broker asks for fewer).
    static constexpr std::size_t InFlight = 10;
    // Messages sent a second at most: a broker keeps 1000 messages for each subscriber by
    // default (Mosquitto's max_queued_messages) and drops the rest, so a subscriber may
    // pause for two seconds while a backlog drains and lose nothing.
    static constexpr int DrainPace = 500;
    // An orderly stop sends what is queued for this long at most, then "offline".
    static constexpr std::chrono::seconds StopDrain{2};

    // `queuePath`: the queue file, e.g. beside the log; what an earlier run left there is
    // sent first.
    Publisher(PublishSettings settings, VersionInfo instrument, QString queuePath, QObject* parent = nullptr);
    // The instrument not yet known: its serial number, which the base topic and client id
    // default from, is the one an earlier run noted beside the queue ("<queue>.instrument").
    // Without such a note (and without both set), nothing is sent until setInstrument().
    Publisher(PublishSettings settings, QString queuePath, QObject* parent = nullptr);
    ~Publisher() override;  // stop()

    // Opens the queue and starts the thread. False when the queue cannot be opened
    // (queueError()); readings are then kept in memory only.
    bool start();
    QString queueError() const { return m_queueError; }
    // Sends what is queued for StopDrain at most, publishes "offline", waits a second at
    // most for the broker to take it, disconnects, and leaves what is undelivered in the
    // queue file.
    void stop();

    // The base topic; empty while the instrument is not known and the settings name none.
    QString baseTopic() const;
    // Before start(): a password that came later than the settings (from a key store).
    void setPassword(const QString& password) { m_settings.password = password; }
    // Before start(): the derived quantities Home Assistant's discovery announces besides
    // the three readings (each reading's payload has those it carries).
    void setDerived(DerivedChoice derived) { m_derived = std::move(derived); }
    // Before start(): messages sent a second at most; 0: as fast as the broker acknowledges.
    void setDrainPace(int perSecond) { m_pace = perSecond; }

    // Thread-safe. The instrument is known (or another one came): its info is published,
    // and it is noted beside the queue for a start without it.
    void setInstrument(const VersionInfo& instrument);
    // Thread-safe, also before start(). Writes the reading to the queue file at once (not
    // yet synced: syncQueue() or the publisher's thread does that).
    void publishReading(const Reading& reading);
    // Puts the readings written so far on the disk itself.
    void syncQueue();
    // One event of the event journal, a JSON object, to <base>/event; written and synced.
    void publishEvent(const QByteArray& json);
    void setInstrumentStatus(InstrumentStatus status);
    // Takes the Poller's readings: each to the queue file before its line goes to the log,
    // the file synced once the log's line is on the disk (before the reading is shown).
    void follow(Poller& poller);

    // The instrument an earlier run noted beside `queuePath`.
    static std::optional<VersionInfo> NotedInstrument(const QString& queuePath);

signals:
    void stateChanged(const hmx::PublishState& state);

private:
    void enqueue(const QString& subtopic, const QByteArray& payload, bool sync);
    void run();
    bool identified() const;
    void takeHandedOver();
    void adoptInstrument(const VersionInfo& instrument);
    void rewriteQueueIfDue();
    void connectToBroker();
    void dropConnection(QString reason);
    int sendWaiting();
    void setAside(std::uint64_t seq, const QByteArray& message, const QString& why);
    void removeDelivered();
    int publishRetained(const QString& topic, const QByteArray& payload);
    void publishAnnouncements();
    void finish();
    void report(bool now = false);
    void onConnected(int result, const mqtt5__property* properties);
    void onDisconnected(int result);
    void onAnswered(int mid, int reason);
    int loop(int waitMs);
    void onLog(int level, const char* text);
    QString tlsFailure(int rc) const;
    bool waitUntil(std::chrono::steady_clock::time_point until);
    void wake();

    static void connectCallback(mosquitto*, void* self, int result, int flags, const mqtt5__property* properties);
    static void disconnectCallback(mosquitto*, void* self, int result, const mqtt5__property* properties);
    static void publishCallback(mosquitto*, void* self, int mid, int reason, const mqtt5__property* properties);
    static void logCallback(mosquitto*, void* self, int level, const char* text);
    static int passPhraseCallback(char* buffer, int size, int rwflag, void* mosq);

    PublishSettings m_settings;  // the thread's once started
    DerivedChoice m_derived;     // the thread's once started
    int m_pace = DrainPace;
    QString m_queueError;
    const QString m_queuePath;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<InstrumentStatus> m_status{InstrumentStatus::Measuring};

    mutable std::mutex m_mutex;  // what the thread is handed, and the wake-up
    std::condition_variable m_wake;
    bool m_woken = false;
    std::optional<VersionInfo> m_handedInstrument;
    std::optional<std::uint16_t> m_serial;  // of the instrument, known or noted

    std::mutex m_queueMutex;  // the queue and the send window, which follows its numbering
    DiskQueue m_queue;
    SendWindow m_window;
    bool m_queueOpen = false;
    std::vector<QByteArray> m_early;  // handed over before start()

    // Publisher thread only (once started).
    VersionInfo m_instrument;
    bool m_instrumentKnown = false;
    bool m_infoPublished = false;
    mosquitto* m_mosq = nullptr;
    int m_protocol = 0;  // MQTT 5, or 3.1.1 for a broker that speaks no 5
    bool m_connected = false;
    QString m_base;      // of this connection
    QString m_clientId;
    QString m_dropReason;
    std::vector<std::pair<int, int>> m_answers;        // message id, reason: for loop() to settle
    std::optional<std::size_t> m_newWindow;            // a connection accepted: the window's limit
    std::unordered_map<int, QString> m_retainedSent;   // message id -> topic
    std::map<QString, QString> m_retainedRefused;      // topic -> the broker's reason
    InstrumentStatus m_publishedStatus = InstrumentStatus::Measuring;
    bool m_statusPublished = false;
    quint64 m_queueToldDropped = 0;
    quint64 m_queueToldSetAside = 0;
    bool m_queueTold = false;
    bool m_nothingToSend = true;
    double m_tokens = 0;
    std::chrono::steady_clock::time_point m_tokensAt;
    std::chrono::seconds m_retry = FirstRetry;
    std::chrono::steady_clock::time_point m_nextAttempt;
    std::chrono::steady_clock::time_point m_attemptStarted;
    std::chrono::steady_clock::time_point m_nextRewrite;
    QString m_startedAt;
    // What libmosquitto said while connecting, for a TLS failure's cause.
    QStringList m_logErrors;
    long m_verifyResult = -1;
    bool m_passPhraseAsked = false;
    QString m_setAsideProblem;
    PublishState m_state;
    PublishState m_reported;
    std::chrono::steady_clock::time_point m_reportedAt;
    std::chrono::steady_clock::time_point m_droppedToldAt;
};

} // namespace hmx

Q_DECLARE_METATYPE(hmx::PublishState)
