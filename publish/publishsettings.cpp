#include "publish/publishsettings.h"

#include <QUrl>

namespace hmx {

namespace {

const QString Group = QStringLiteral("Publishing");

// MQTT's limit for a topic, and room for what is put after a base topic or a discovery
// prefix ("/reading", "/sensor/hmx700_12345/saturationVapourPressure/config").
constexpr qsizetype TopicBytes = 65535;
constexpr qsizetype AppendedBytes = 100;

// A topic in a message: control characters as \xNN, so that a line stays one line.
QString Shown(const QString& topic)
{
    QString text;
    for (const QChar c : topic) {
        if (c.category() == QChar::Other_Control)
            text += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            text += c;
    }
    return text;
}

QString TopicFaultWords(TopicFault fault)
{
    switch (fault) {
    case TopicFault::Wildcard:
        return QStringLiteral("must not contain '+' or '#'");
    case TopicFault::Space:
        return QStringLiteral("must not contain spaces");
    case TopicFault::Control:
        return QStringLiteral("must not contain control characters such as a line break");
    case TopicFault::Reserved:
        return QStringLiteral("must not begin with '$', which the broker keeps for itself");
    case TopicFault::Slash:
        return QStringLiteral("must not begin or end with '/'");
    case TopicFault::NotUtf8:
        return QStringLiteral("is not valid UTF-8");
    case TopicFault::TooLong:
        return QStringLiteral("is longer than MQTT allows");
    case TopicFault::None:
        break;
    }
    return {};
}

} // namespace

TopicFault CheckTopic(const QString& topic)
{
    if (!topic.isValidUtf16() || topic.contains(QChar::ReplacementCharacter))
        return TopicFault::NotUtf8;
    for (const QChar c : topic) {
        if (c == QLatin1Char('+') || c == QLatin1Char('#'))
            return TopicFault::Wildcard;
        if (c.category() == QChar::Other_Control)
            return TopicFault::Control;
        if (c == QLatin1Char(' '))
            return TopicFault::Space;
    }
    if (topic.startsWith(QLatin1Char('$')))
        return TopicFault::Reserved;
    if (topic.startsWith(QLatin1Char('/')) || topic.endsWith(QLatin1Char('/')))
        return TopicFault::Slash;
    if (topic.toUtf8().size() > TopicBytes - AppendedBytes)
        return TopicFault::TooLong;
    return TopicFault::None;
}

std::optional<bool> SettingsBool(const QVariant& value)
{
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    if (value.typeId() == QMetaType::QStringList)  // "yes, no" in an INI file
        return std::nullopt;
    const QString text = value.toString().trimmed().toLower();
    for (const char* yes : {"true", "yes", "on", "1"})
        if (text == QLatin1String(yes))
            return true;
    for (const char* no : {"false", "no", "off", "0"})
        if (text == QLatin1String(no))
            return false;
    return std::nullopt;
}

QString UrlWithoutPassword(const QString& text)
{
    const QUrl url(text, QUrl::StrictMode);
    if (url.isValid()) {
        if (url.password().isEmpty())
            return text;
        QUrl shown = url;
        shown.setPassword(QString());
        return shown.toString();
    }
    // Unparsed, the password may hold any character: everything between the first ':'
    // after the scheme and the last '@' goes.
    const qsizetype schemeEnd = text.indexOf(QStringLiteral("://"));
    const qsizetype start = schemeEnd < 0 ? 0 : schemeEnd + 3;
    const qsizetype at = text.lastIndexOf(QLatin1Char('@'));
    const qsizetype colon = text.indexOf(QLatin1Char(':'), start);
    if (at < start || colon < 0 || colon > at)
        return text;
    return text.left(colon) + text.mid(at);
}

QString PublishSettings::topicFor(std::uint16_t serialNumber) const
{
    return baseTopic.isEmpty() ? QStringLiteral("hmx700/%1").arg(serialNumber) : baseTopic;
}

QString PublishSettings::clientIdFor(std::uint16_t serialNumber) const
{
    return clientId.isEmpty() ? QStringLiteral("hmx700-%1").arg(serialNumber) : clientId;
}

QString PublishSettings::discoveryPrefixOrDefault() const
{
    return discoveryPrefix.isEmpty() ? QStringLiteral("homeassistant") : discoveryPrefix;
}

PublishSettings LoadPublishSettings(QSettings& settings)
{
    PublishSettings p;
    settings.beginGroup(Group);
    const auto flag = [&](const char* key, bool byDefault) {
        return SettingsBool(settings.value(QLatin1String(key), byDefault)).value_or(byDefault);
    };
    p.enabled = flag("enabled", p.enabled);
    p.host = settings.value(QStringLiteral("host")).toString();
    p.port = settings.value(QStringLiteral("port"), p.port).toInt();
    p.clientId = settings.value(QStringLiteral("clientId")).toString();
    p.baseTopic = settings.value(QStringLiteral("baseTopic")).toString();
    p.qos = settings.value(QStringLiteral("qos"), p.qos).toInt();
    p.tls = flag("tls", p.tls);
    p.caFile = settings.value(QStringLiteral("caFile")).toString();
    p.certFile = settings.value(QStringLiteral("certFile")).toString();
    p.keyFile = settings.value(QStringLiteral("keyFile")).toString();
    p.user = settings.value(QStringLiteral("user")).toString();
    p.homeAssistant = flag("homeAssistant", p.homeAssistant);
    p.discoveryPrefix = settings.value(QStringLiteral("discoveryPrefix")).toString();
    settings.endGroup();
    return p;
}

void SavePublishSettings(const PublishSettings& p, QSettings& settings)
{
    settings.beginGroup(Group);
    settings.setValue(QStringLiteral("enabled"), p.enabled);
    settings.setValue(QStringLiteral("host"), p.host);
    settings.setValue(QStringLiteral("port"), p.port);
    settings.setValue(QStringLiteral("clientId"), p.clientId);
    settings.setValue(QStringLiteral("baseTopic"), p.baseTopic);
    settings.setValue(QStringLiteral("qos"), p.qos);
    settings.setValue(QStringLiteral("tls"), p.tls);
    settings.setValue(QStringLiteral("caFile"), p.caFile);
    settings.setValue(QStringLiteral("certFile"), p.certFile);
    settings.setValue(QStringLiteral("keyFile"), p.keyFile);
    settings.setValue(QStringLiteral("user"), p.user);
    settings.setValue(QStringLiteral("homeAssistant"), p.homeAssistant);
    settings.setValue(QStringLiteral("discoveryPrefix"), p.discoveryPrefix);
    settings.endGroup();
}

QString ApplyBrokerUrl(const QString& text, PublishSettings& publish)
{
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme();
    if (!url.isValid() || (scheme != QLatin1String("mqtt") && scheme != QLatin1String("mqtts")))
        return QStringLiteral("%1 is no broker URL (mqtt://[user@]host[:port][/base/topic] or mqtts://...)")
            .arg(UrlWithoutPassword(text));
    if (!url.password().isEmpty())
        return QStringLiteral("the broker URL must not hold a password; give it in a file or the environment");
    // "/site/#" would subscribe, "?qos=2" would be an option the recorder does not know.
    if (url.hasQuery() || url.hasFragment())
        return QStringLiteral("the broker URL %1 must end with the base topic, without '?' or '#'").arg(text);
    if (url.host().isEmpty())
        return QStringLiteral("the broker URL %1 names no host").arg(text);
    publish.enabled = true;
    publish.tls = scheme == QLatin1String("mqtts");
    publish.host = url.host();
    publish.port = url.port(publish.tls ? 8883 : 1883);
    if (!url.userName().isEmpty())
        publish.user = url.userName();
    // Decoded: "%0A" is a line break, "%FF" no UTF-8; the topic check sees both.
    const QString path = url.path(QUrl::FullyDecoded);
    if (path.size() > 1)
        publish.baseTopic = path.mid(1);
    return {};
}

QString PublishSettingsProblem(const PublishSettings& p)
{
    if (!p.enabled)
        return {};
    if (p.host.isEmpty())
        return QStringLiteral("no broker host is set");
    if (p.port < 1 || p.port > 65535)
        return QStringLiteral("the broker port %1 is out of range (1 to 65535)").arg(p.port);
    if (p.qos < 0 || p.qos > 2)
        return QStringLiteral("QoS %1 is not 0, 1 or 2").arg(p.qos);
    if (const TopicFault fault = CheckTopic(p.baseTopic); fault != TopicFault::None)
        return QStringLiteral("the base topic \"%1\" %2").arg(Shown(p.baseTopic), TopicFaultWords(fault));
    if (const TopicFault fault = CheckTopic(p.discoveryPrefix); fault != TopicFault::None)
        return QStringLiteral("the discovery prefix \"%1\" %2").arg(Shown(p.discoveryPrefix), TopicFaultWords(fault));
    if (p.certFile.isEmpty() != p.keyFile.isEmpty())
        return QStringLiteral("a client certificate needs its key, and a key its certificate");
    if (!p.password.isEmpty() && p.user.isEmpty())
        return QStringLiteral("a password is given but no user name");
    return {};
}

} // namespace hmx
