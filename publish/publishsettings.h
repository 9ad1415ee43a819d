// Where and how readings are published: the broker, the topics, TLS and the account.
// Kept with QSettings under "Publishing/" (the window's preferences and the headless
// recorder's INI file use the same keys); the password is never kept there.
#pragma once

#include <QSettings>
#include <QString>

#include <cstdint>

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
    bool homeAssistant = false;  // retained discovery messages under homeassistant/

    // The defaults that depend on the instrument.
    QString topicFor(std::uint16_t serialNumber) const;
    QString clientIdFor(std::uint16_t serialNumber) const;
};

// Reads and writes the "Publishing/" keys (not the password).
PublishSettings LoadPublishSettings(QSettings& settings);
void SavePublishSettings(const PublishSettings& publish, QSettings& settings);

// mqtt://[user@]host[:port][/base/topic] or mqtts://... (TLS, port 8883 by default) into
// `publish`, which keeps what the URL does not name. A password in the URL is refused,
// so that it never stands on a command line. Returns an error text, empty on success.
QString ApplyBrokerUrl(const QString& url, PublishSettings& publish);

// What is wrong with the settings, in English for a log or a command line; empty if
// nothing. The window words the same checks itself.
QString PublishSettingsProblem(const PublishSettings& publish);

} // namespace hmx
