// Watches topics on a broker for tests and benchmarks, as mosquitto_sub would: a
// persistent session (QoS 1), so messages published while it or the broker was away
// still reach it once both are back.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <mutex>

struct mosquitto;
struct mosquitto_message;

namespace hmx::sim {

struct MqttMessage {
    QString topic;
    QByteArray payload;
    bool retained = false;
};

class MqttWatcher {
public:
    // Connects at once and keeps reconnecting; `clientId` names the session.
    MqttWatcher(int port, const QString& topicFilter, const QString& clientId);
    ~MqttWatcher();

    QList<MqttMessage> messages() const;
    // Payloads received on `topic`, in order.
    QList<QByteArray> payloads(const QString& topic) const;

    MqttWatcher(const MqttWatcher&) = delete;
    MqttWatcher& operator=(const MqttWatcher&) = delete;

private:
    static void connected(mosquitto*, void* self, int result);
    static void received(mosquitto*, void* self, const mosquitto_message* message);

    QByteArray m_filter;
    mosquitto* m_mosq = nullptr;
    mutable std::mutex m_mutex;
    QList<MqttMessage> m_messages;
};

} // namespace hmx::sim
