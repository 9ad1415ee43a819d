// Where and how readings are published: the broker, the topics, TLS and the account.
// Kept with QSettings under "Publishing/" (the window's preferences and the headless
// recorder's INI file use the same keys); the password is never kept there.
#pragma once

#include <QSettings>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <optional>

namespace hmx {

struct PublishSettings {
    bool enabled = false;
    QString host;
    int port = 1883;
    QString clientId;       // empty: "hmx700-<serial number>"
    QString baseTopic;      // empty: "hmx700/<serial number>"
    int qos = 1;
    bool tls = false;
    QString caFile;         // empty with TLS: the system's certificate authorities
    QString certFile;       // client certificate and key, both or neither
    QString keyFile;
    QString user;
    QString password;       // from the key store, a protected file or the environment only
    bool homeAssistant = false;  // retained discovery messages under `discoveryPrefix`
    QString discoveryPrefix;     // empty: "homeassistant", Home Assistant's own

    // The defaults that depend on the instrument.
    QString topicFor(std::uint16_t serialNumber) const;
    QString clientIdFor(std::uint16_t serialNumber) const;
    QString discoveryPrefixOrDefault() const;
};

// What keeps a text from being a topic to publish under; the window and the recorder
// each word it in their own language.
enum class TopicFault {
    None,
    Wildcard,   // '+' or '#'
    Space,
    Control,    // a line break, NUL or another control character
    Reserved,   // begins with '$', which brokers keep for themselves ($SYS/...)
    Slash,      // begins or ends with '/'
    NotUtf8,    // bytes that were no UTF-8 (read as U+FFFD) or a broken surrogate
    TooLong,    // more than MQTT's 65535 bytes with the longest subtopic
};
TopicFault CheckTopic(const QString& topic);

// A setting's yes or no: true/false, yes/no, on/off, 1/0 in any case; nullopt for
// anything else, which a reader must not take for either.
std::optional<bool> SettingsBool(const QVariant& value);

// The URL as typed, with any password left out, for a message about it.
QString UrlWithoutPassword(const QString& url);

// Reads and writes the "Publishing/" keys (not the password). A yes or no that is
// neither reads as its default.
PublishSettings LoadPublishSettings(QSettings& settings);
void SavePublishSettings(const PublishSettings& publish, QSettings& settings);

// mqtt://[user@]host[:port][/base/topic] or mqtts://... (TLS, port 8883 by default) into
// `publish`, which keeps what the URL does not name. A password in the URL is refused,
// so that it never stands on a command line, and so are a ?query and a #fragment.
// Returns an error text, never holding a password; empty on success.
QString ApplyBrokerUrl(const QString& url, PublishSettings& publish);

// What is wrong with the settings, in English for a log or a command line; empty if
// nothing. The window words the same checks itself.
QString PublishSettingsProblem(const PublishSettings& publish);

} // namespace hmx
