// The publisher: a thread of its own that keeps readings in the on-disk queue and sends
// them, in order, to the MQTT broker whenever it can be reached (libmosquitto). It never
// waits on the Poller nor the Poller on it: readings are handed over under a short lock.
// Topics under the base topic: reading (queued, QoS as set), status and info (retained;
// the last will sets status to "offline"), event (queued like readings).
#pragma once

#include "instrument/derived.h"
#include "link/protocol.h"
#include "publish/diskqueue.h"
#include "publish/publishsettings.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

struct mosquitto;

namespace hmx {

struct Reading;

// What the publisher is doing, for a status line.
struct PublishState {
    enum class Link { Off, Connecting, Connected, Failed };
    Link link = Link::Off;
    QString reason;         // Failed: the broker's or the system's words
    qint64 queued = 0;      // messages not yet delivered
    quint64 dropped = 0;    // oldest messages dropped because the queue was full
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
    // Messages sent and not yet acknowledged at most.
    static constexpr std::size_t SendWindow = 1000;

    // `queuePath`: the queue file, e.g. beside the log; what an earlier run left there is
    // sent first.
    Publisher(PublishSettings settings, VersionInfo instrument, QString queuePath, QObject* parent = nullptr);
    ~Publisher() override;  // stop()

    // Opens the queue and starts the thread. False when the queue cannot be opened
    // (queueError()); readings are then kept in memory only.
    bool start();
    QString queueError() const { return m_queueError; }
    // Publishes "offline", waits up to two seconds for the broker to take it, disconnects,
    // and leaves what is undelivered in the queue file.
    void stop();

    QString baseTopic() const { return m_baseTopic; }
    // Before start(): a password that came later than the settings (from a key store).
    void setPassword(const QString& password) { m_settings.password = password; }
    // Before the first reading: the derived quantities each reading carries besides its three.
    void setDerived(DerivedChoice derived) { m_derived = std::move(derived); }

    // Thread-safe, also before start(); return at once.
    void publishReading(const Reading& reading);
    // One event of the event journal, a JSON object, to <base>/event.
    void publishEvent(const QByteArray& json);
    void setInstrumentStatus(InstrumentStatus status);

signals:
    void stateChanged(const hmx::PublishState& state);

private:
    void enqueue(const QString& subtopic, const QByteArray& payload);
    void run();
    void takeHandedOver();
    void connectToBroker();
    void dropConnection(QString reason);
    void sendWaiting();
    void publishRetained(const QString& topic, const QByteArray& payload, int* mid = nullptr);
    void publishStatus();
    void finish();
    void report(bool now = false);
    void onConnected(int result);
    void onDisconnected(int result);
    void onAcknowledged(int mid);
    bool waitUntil(std::chrono::steady_clock::time_point until);

    static void connectCallback(mosquitto*, void* self, int result);
    static void disconnectCallback(mosquitto*, void* self, int result);
    static void publishCallback(mosquitto*, void* self, int mid);

    PublishSettings m_settings;  // the thread's once started
    DerivedChoice m_derived;     // read only once readings come
    const VersionInfo m_instrument;
    const QString m_baseTopic;
    QString m_queueError;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<InstrumentStatus> m_status{InstrumentStatus::Measuring};
    std::mutex m_mutex;  // m_incoming and the wake-up
    std::condition_variable m_wake;
    std::vector<QByteArray> m_incoming;

    // Publisher thread only.
    DiskQueue m_queue;
    mosquitto* m_mosq = nullptr;
    bool m_connected = false;
    QString m_dropReason;
    std::deque<int> m_sentMids;  // per queued message sent on this connection; 0 when acknowledged
    int m_statusMid = -1;
    InstrumentStatus m_publishedStatus = InstrumentStatus::Measuring;
    bool m_statusPublished = false;
    std::chrono::seconds m_retry = FirstRetry;
    std::chrono::steady_clock::time_point m_nextAttempt;
    std::chrono::steady_clock::time_point m_attemptStarted;
    PublishState m_state;
    PublishState m_reported;
    std::chrono::steady_clock::time_point m_reportedAt;
};

} // namespace hmx

Q_DECLARE_METATYPE(hmx::PublishState)
