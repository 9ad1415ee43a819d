// What the connection and the per-instrument publishers both say about libmosquitto's
// results and MQTT's numbers. Private to publish/.
#pragma once

#include <mosquitto.h>

#include <QByteArray>
#include <QString>

#include <cerrno>
#include <cstring>

namespace hmx::mqtt {

// MQTT 5's numbers (the standard's, as in libmosquitto's mqtt_protocol.h).
constexpr int ReceiveMaximumProperty = 0x21;
constexpr int FailureReason = 0x80;  // reason codes from here on say a message was refused
constexpr int UnsupportedProtocolVersion = 0x84;
constexpr int BadUserNameOrPassword = 0x86;
constexpr int NotAuthorized = 0x87;
constexpr int TopicNameInvalid = 0x90;
constexpr int PacketTooLarge = 0x95;
constexpr int PayloadFormatInvalid = 0x99;

inline QString ErrorText(int rc)
{
    if (rc == MOSQ_ERR_ERRNO)
        return QString::fromLocal8Bit(std::strerror(errno));
    return QString::fromUtf8(mosquitto_strerror(rc));
}

inline const char* OrNull(const QByteArray& bytes)
{
    return bytes.isEmpty() ? nullptr : bytes.constData();
}

} // namespace hmx::mqtt
