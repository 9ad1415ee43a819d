// One instrument's publishing: its readings and events written to its on-disk queue, in
// order, and sent from there to the MQTT broker whenever it can be reached, over a
// connection of its own or one shared with the other instruments of the process
// (BrokerConnection). Readings are written to the queue file by the thread that hands
// them over, before their log line, so the queue never holds less than the log; that
// thread never waits on the connection's nor the connection's on the Poller.
// Topics under the base topic: reading (queued, QoS as set), status, info and queue
// (retained; "offline" when it stops), event (queued like readings).
#pragma once

#include "instrument/derived.h"
#include "link/protocol.h"
#include "publish/brokerchannel.h"
#include "publish/brokerconnection.h"
#include "publish/diskqueue.h"
#include "publish/publishsettings.h"
#include "publish/publishstate.h"
#include "publish/sendwindow.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <chrono>
#include <memory>
#include <map>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

namespace hmx {

class Poller;
struct Reading;

class Publisher : public QObject, private BrokerChannel {
    Q_OBJECT
public:
    static constexpr std::chrono::seconds FirstRetry = BrokerConnection::FirstRetry;
    static constexpr std::chrono::seconds LongestRetry = BrokerConnection::LongestRetry;
    static constexpr std::size_t InFlight = BrokerConnection::InFlight;
    static constexpr int DrainPace = BrokerConnection::DrainPace;
    static constexpr std::chrono::seconds StopDrain = BrokerConnection::StopDrain;

    // `queuePath`: the queue file, e.g. beside the log; what an earlier run left there is
    // sent first. Over a connection of its own, made from `settings`.
    Publisher(PublishSettings settings, VersionInfo instrument, QString queuePath, QObject* parent = nullptr);
    // The instrument not yet known: its serial number, which the base topic and client id
    // default from, is the one an earlier run noted beside the queue ("<queue>.instrument").
    // Without such a note (and without both set), nothing is sent until setInstrument().
    Publisher(PublishSettings settings, QString queuePath, QObject* parent = nullptr);
    // Over `broker`, shared with other instruments' publishers (null: a connection of its
    // own): the connection's settings name the broker, the account and the client id;
    // `settings` the base topic, QoS and discovery of this instrument.
    Publisher(PublishSettings settings, VersionInfo instrument, QString queuePath,
              std::shared_ptr<BrokerConnection> broker, QObject* parent = nullptr);
    Publisher(PublishSettings settings, QString queuePath, std::shared_ptr<BrokerConnection> broker,
              QObject* parent = nullptr);
    ~Publisher() override;  // stop()

    // Opens the queue and joins the connection. False when the queue cannot be opened
    // (queueError()); readings are then kept in memory only.
    bool start();
    QString queueError() const { return m_queueError; }
    // Sends what is queued for StopDrain at most, publishes "offline", waits a second at
    // most for the broker to take it, and leaves what is undelivered in the queue file.
    // The connection ends with the last publisher using it; the others go on.
    void stop();

    // The base topic; empty while the instrument is not known and the settings name none.
    QString baseTopic() const;
    // Before start(): a password that came later than the settings (from a key store);
    // it is the connection's, shared or not.
    void setPassword(const QString& password);
    // Before start(): the derived quantities Home Assistant's discovery announces besides
    // the three readings (each reading's payload has those it carries).
    void setDerived(DerivedChoice derived) { m_derived = std::move(derived); }
    // Before start(): messages sent a second at most, by the connection, shared or not;
    // 0: as fast as the broker acknowledges.
    void setDrainPace(int perSecond) { m_broker->setDrainPace(perSecond); }
    const std::shared_ptr<BrokerConnection>& broker() const { return m_broker; }

    // Thread-safe. The instrument is known (or another one came): its info is published,
    // and it is noted beside the queue for a start without it.
    void setInstrument(const VersionInfo& instrument);
    // Thread-safe, also before start(). Writes the reading to the queue file at once (not
    // yet synced: syncQueue() or the connection's thread does that).
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
    // BrokerChannel: on the connection's thread.
    ChannelIdentity identity() const override;
    void tend(BrokerConnection& link, bool up) override;
    void linkUp(std::size_t limit) override;
    void linkDown() override;
    void announce(BrokerConnection& link) override;
    Sent sendNext(BrokerConnection& link, Clock::time_point now) override;
    void answered(const std::vector<std::pair<int, int>>& answers) override;
    std::size_t inFlight() override;
    std::optional<Clock::time_point> nextRetry() override;
    int sayOffline(BrokerConnection& link) override;
    bool awaits(int mid) const override { return m_retainedSent.contains(mid); }
    void leave() override;
    void report(const LinkState& link, bool now) override;

    void enqueue(const QString& subtopic, const QByteArray& payload, bool sync);
    void adoptInstrument(const VersionInfo& instrument, BrokerConnection& link, bool up);
    void rewriteQueueIfDue();
    void setAside(std::uint64_t seq, const QByteArray& message, const QString& why);
    void removeDelivered();
    int publishRetained(BrokerConnection& link, const QString& topic, const QByteArray& payload);
    void wake();

    PublishSettings m_settings;  // the connection's thread's once started
    DerivedChoice m_derived;     // the connection's thread's once started
    QString m_queueError;
    const QString m_queuePath;
    std::shared_ptr<BrokerConnection> m_broker;
    bool m_started = false;
    std::atomic<InstrumentStatus> m_status{InstrumentStatus::Measuring};

    mutable std::mutex m_mutex;  // what the connection's thread is handed
    std::optional<VersionInfo> m_handedInstrument;
    std::optional<std::uint16_t> m_serial;  // of the instrument, known or noted

    std::mutex m_queueMutex;  // the queue and the send window, which follows its numbering
    DiskQueue m_queue;
    SendWindow m_window;
    bool m_queueOpen = false;
    std::vector<QByteArray> m_early;  // handed over before start()

    // The connection's thread only (once started).
    VersionInfo m_instrument;
    bool m_instrumentKnown = false;
    bool m_infoPublished = false;
    QString m_base;  // of the retained messages
    std::unordered_map<int, QString> m_retainedSent;   // message id -> topic
    std::map<QString, QString> m_retainedRefused;      // topic -> the broker's reason
    InstrumentStatus m_publishedStatus = InstrumentStatus::Measuring;
    bool m_statusPublished = false;
    quint64 m_queueToldDropped = 0;
    quint64 m_queueToldSetAside = 0;
    bool m_queueTold = false;
    std::chrono::steady_clock::time_point m_nextRewrite;
    QString m_startedAt;
    QString m_setAsideProblem;
    PublishState m_state;
    PublishState m_reported;
    std::chrono::steady_clock::time_point m_reportedAt;
    std::chrono::steady_clock::time_point m_droppedToldAt;
};

} // namespace hmx
