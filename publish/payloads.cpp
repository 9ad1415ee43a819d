#include "publish/payloads.h"

#include "humidity/units.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cstdlib>

namespace hmx {

namespace {

// Tenths as a JSON number with one decimal: -105 -> -10.5.
QByteArray TenthsNumber(int tenths)
{
    QByteArray text = tenths < 0 ? QByteArrayLiteral("-") : QByteArray();
    const int magnitude = std::abs(tenths);
    text += QByteArray::number(magnitude / 10) + '.' + QByteArray::number(magnitude % 10);
    return text;
}

QString Firmware(const VersionInfo& version)
{
    return QStringLiteral("%1.%2").arg(version.version).arg(version.revision);
}

} // namespace

QByteArray ReadingPayload(const Reading& reading, const DerivedChoice& derived)
{
    QByteArray json = QByteArrayLiteral("{\"time\":\"") + reading.time.toString(Qt::ISODateWithMs).toLatin1()
        + QByteArrayLiteral("\",\"number\":") + QByteArray::number(reading.number)
        + QByteArrayLiteral(",\"humidity\":") + TenthsNumber(reading.humidity)
        + QByteArrayLiteral(",\"dewPoint\":") + TenthsNumber(reading.dewPoint)
        + QByteArrayLiteral(",\"ambient\":") + TenthsNumber(reading.ambient);
    const std::vector<std::optional<double>> values = DerivedValues(derived, reading);
    for (std::size_t i = 0; i < values.size(); ++i) {
        const humidity::Quantity q = derived.shown[i];
        json += ",\"" + JsonName(q).toLatin1() + "\":";
        json += values[i] ? QByteArray::fromStdString(humidity::FormatNumber(*values[i], humidity::Info(q).decimals))
                          : QByteArrayLiteral("null");
    }
    return json + '}';
}

QByteArray InfoPayload(const VersionInfo& version)
{
    const QJsonObject info{
        {QStringLiteral("model"), QStringLiteral("HMX-700")},
        {QStringLiteral("firmware"), Firmware(version)},
        {QStringLiteral("serialNumber"), int(version.serialNumber)},
        {QStringLiteral("program"), QStringLiteral("hmx700 " HMX700_VERSION)},
    };
    return QJsonDocument(info).toJson(QJsonDocument::Compact);
}

QByteArray EventPayload(const QDateTime& time, const QString& kind, const QStringList& details)
{
    QJsonObject event{
        {QStringLiteral("time"), time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs)},
        {QStringLiteral("kind"), kind},
    };
    for (const QString& detail : details) {
        const qsizetype equals = detail.indexOf(QLatin1Char('='));
        if (equals > 0)
            event.insert(detail.left(equals), detail.mid(equals + 1));
    }
    return QJsonDocument(event).toJson(QJsonDocument::Compact);
}

std::vector<std::pair<QString, QByteArray>> HomeAssistantConfigs(const QString& baseTopic, const VersionInfo& version)
{
    struct Quantity {
        const char* key;
        const char* name;
        const char* unit;
        const char* deviceClass;
    };
    static constexpr Quantity Quantities[] = {
        {"humidity", "Humidity", "%", "humidity"},
        {"dewPoint", "Dew point", "°C", "temperature"},
        {"ambient", "Ambient temperature", "°C", "temperature"},
    };
    const QString id = QStringLiteral("hmx700_%1").arg(version.serialNumber);
    const QJsonObject device{
        {QStringLiteral("identifiers"), id},
        {QStringLiteral("name"), QStringLiteral("HMX-700 %1").arg(version.serialNumber)},
        {QStringLiteral("model"), QStringLiteral("HMX-700")},
        {QStringLiteral("sw_version"), Firmware(version)},
    };
    std::vector<std::pair<QString, QByteArray>> configs;
    for (const Quantity& q : Quantities) {
        const QString key = QString::fromLatin1(q.key);
        const QJsonObject config{
            {QStringLiteral("name"), QString::fromLatin1(q.name)},
            {QStringLiteral("unique_id"), id + QLatin1Char('_') + key},
            {QStringLiteral("state_topic"), baseTopic + QStringLiteral("/reading")},
            {QStringLiteral("value_template"), QStringLiteral("{{ value_json.%1 }}").arg(key)},
            {QStringLiteral("unit_of_measurement"), QString::fromUtf8(q.unit)},
            {QStringLiteral("device_class"), QString::fromLatin1(q.deviceClass)},
            {QStringLiteral("state_class"), QStringLiteral("measurement")},
            {QStringLiteral("availability_topic"), baseTopic + QStringLiteral("/status")},
            {QStringLiteral("payload_available"), QStringLiteral("measuring")},
            {QStringLiteral("payload_not_available"), QStringLiteral("offline")},
            {QStringLiteral("device"), device},
        };
        configs.emplace_back(QStringLiteral("homeassistant/sensor/%1/%2/config").arg(id, key),
                             QJsonDocument(config).toJson(QJsonDocument::Compact));
    }
    return configs;
}

} // namespace hmx
