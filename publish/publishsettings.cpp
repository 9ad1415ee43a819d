#include "publish/publishsettings.h"

#include <QUrl>

namespace hmx {

namespace {

const QString Group = QStringLiteral("Publishing");

} // namespace

QString PublishSettings::topicFor(std::uint16_t serialNumber) const
{
    return baseTopic.isEmpty() ? QStringLiteral("hmx700/%1").arg(serialNumber) : baseTopic;
}

QString PublishSettings::clientIdFor(std::uint16_t serialNumber) const
{
    return clientId.isEmpty() ? QStringLiteral("hmx700-%1").arg(serialNumber) : clientId;
}

PublishSettings LoadPublishSettings(QSettings& settings)
{
    PublishSettings p;
    settings.beginGroup(Group);
    p.enabled = settings.value(QStringLiteral("enabled"), p.enabled).toBool();
    p.host = settings.value(QStringLiteral("host")).toString();
    p.port = settings.value(QStringLiteral("port"), p.port).toInt();
    p.clientId = settings.value(QStringLiteral("clientId")).toString();
    p.baseTopic = settings.value(QStringLiteral("baseTopic")).toString();
    p.qos = settings.value(QStringLiteral("qos"), p.qos).toInt();
    p.tls = settings.value(QStringLiteral("tls"), p.tls).toBool();
    p.caFile = settings.value(QStringLiteral("caFile")).toString();
    p.certFile = settings.value(QStringLiteral("certFile")).toString();
    p.keyFile = settings.value(QStringLiteral("keyFile")).toString();
    p.user = settings.value(QStringLiteral("user")).toString();
    p.homeAssistant = settings.value(QStringLiteral("homeAssistant"), p.homeAssistant).toBool();
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
    settings.endGroup();
}

QString ApplyBrokerUrl(const QString& text, PublishSettings& publish)
{
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme();
    if (!url.isValid() || (scheme != QLatin1String("mqtt") && scheme != QLatin1String("mqtts")))
        return QStringLiteral("%1 is no broker URL (mqtt://[user@]host[:port][/base/topic] or mqtts://...)").arg(text);
    if (!url.password().isEmpty())
        return QStringLiteral("the broker URL must not hold a password; give it in a file or the environment");
    if (url.host().isEmpty())
        return QStringLiteral("the broker URL %1 names no host").arg(text);
    publish.enabled = true;
    publish.tls = scheme == QLatin1String("mqtts");
    publish.host = url.host();
    publish.port = url.port(publish.tls ? 8883 : 1883);
    if (!url.userName().isEmpty())
        publish.user = url.userName();
    const QString path = url.path();
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
    for (QChar c : {QLatin1Char('+'), QLatin1Char('#'), QLatin1Char(' ')})
        if (p.baseTopic.contains(c))
            return QStringLiteral("the base topic \"%1\" must not contain '+', '#' or spaces").arg(p.baseTopic);
    if (p.baseTopic.startsWith(QLatin1Char('/')) || p.baseTopic.endsWith(QLatin1Char('/')))
        return QStringLiteral("the base topic \"%1\" must not begin or end with '/'").arg(p.baseTopic);
    if (p.certFile.isEmpty() != p.keyFile.isEmpty())
        return QStringLiteral("a client certificate needs its key, and a key its certificate");
    if (!p.password.isEmpty() && p.user.isEmpty())
        return QStringLiteral("a password is given but no user name");
    return {};
}

} // namespace hmx
