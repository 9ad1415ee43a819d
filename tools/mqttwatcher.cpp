#include "tools/mqttwatcher.h"

#include <mosquitto.h>

namespace hmx::sim {

MqttWatcher::MqttWatcher(int port, const QString& topicFilter, const QString& clientId)
    : m_filter(topicFilter.toUtf8())
{
    mosquitto_lib_init();
    m_mosq = mosquitto_new(clientId.toUtf8().constData(), false, this);
    mosquitto_connect_callback_set(m_mosq, &MqttWatcher::connected);
    mosquitto_message_callback_set(m_mosq, &MqttWatcher::received);
    mosquitto_reconnect_delay_set(m_mosq, 1, 1, false);
    mosquitto_connect_async(m_mosq, "127.0.0.1", port, 30);
    mosquitto_loop_start(m_mosq);
}

MqttWatcher::~MqttWatcher()
{
    mosquitto_disconnect(m_mosq);
    mosquitto_loop_stop(m_mosq, false);
    mosquitto_destroy(m_mosq);
}

void MqttWatcher::connected(mosquitto* mosq, void* self, int result)
{
    if (result == 0)
        mosquitto_subscribe(mosq, nullptr, static_cast<MqttWatcher*>(self)->m_filter.constData(), 1);
}

void MqttWatcher::received(mosquitto*, void* self, const mosquitto_message* message)
{
    auto* watcher = static_cast<MqttWatcher*>(self);
    std::lock_guard lock(watcher->m_mutex);
    watcher->m_messages.append({QString::fromUtf8(message->topic),
                                QByteArray(static_cast<const char*>(message->payload), message->payloadlen),
                                message->retain});
}

QList<MqttMessage> MqttWatcher::messages() const
{
    std::lock_guard lock(m_mutex);
    return m_messages;
}

QList<QByteArray> MqttWatcher::payloads(const QString& topic) const
{
    QList<QByteArray> found;
    std::lock_guard lock(m_mutex);
    for (const MqttMessage& m : m_messages)
        if (m.topic == topic)
            found.append(m.payload);
    return found;
}

} // namespace hmx::sim
