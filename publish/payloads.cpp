#include "publish/payloads.h"

#include "humidity/units.h"

#include <QJsonArray>
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

QString Utf8Text(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

} // namespace

QString TimeText(const QDateTime& time)
{
    const int offset = time.offsetFromUtc();
    const QDateTime local = time.toOffsetFromUtc(offset);
    const int minutes = qAbs(offset) / 60;
    return local.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) + (offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        + QStringLiteral("%1:%2").arg(minutes / 60, 2, 10, QLatin1Char('0')).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QByteArray ReadingPayload(const Reading& reading)
{
    QByteArray json = QByteArrayLiteral("{\"time\":\"") + TimeText(reading.time).toLatin1()
        + QByteArrayLiteral("\",\"number\":") + QByteArray::number(reading.number)
        + QByteArrayLiteral(",\"humidity\":") + TenthsNumber(reading.humidity)
        + QByteArrayLiteral(",\"dewPoint\":") + TenthsNumber(reading.dewPoint)
        + QByteArrayLiteral(",\"ambient\":") + TenthsNumber(reading.ambient);
    for (const DerivedValue& d : reading.derived) {
        json += ",\"" + JsonName(d.quantity).toLatin1() + "\":";
        json += d.value ? QByteArray::fromStdString(humidity::FormatNumber(*d.value, humidity::Info(d.quantity).decimals))
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
        {QStringLiteral("time"), TimeText(time)},
        {QStringLiteral("kind"), kind},
    };
    for (const QString& detail : details) {
        const qsizetype equals = detail.indexOf(QLatin1Char('='));
        if (equals > 0)
            event.insert(detail.left(equals), detail.mid(equals + 1));
    }
    return QJsonDocument(event).toJson(QJsonDocument::Compact);
}

std::vector<std::pair<QString, QByteArray>> HomeAssistantConfigs(const QString& baseTopic, const VersionInfo& version,
                                                                 const DerivedChoice& derived, const QString& prefix)
{
    struct Sensor {
        QString key;          // its member in the reading
        QString name;
        QString unit;
        QString deviceClass;  // empty: none of Home Assistant's fits
    };
    std::vector<Sensor> sensors{
        {QStringLiteral("humidity"), QStringLiteral("Humidity"), QStringLiteral("%"), QStringLiteral("humidity")},
        {QStringLiteral("dewPoint"), QStringLiteral("Dew point"), QStringLiteral("°C"), QStringLiteral("temperature")},
        {QStringLiteral("ambient"), QStringLiteral("Ambient temperature"), QStringLiteral("°C"), QStringLiteral("temperature")},
    };
    for (const humidity::Quantity q : derived.shown) {
        const humidity::QuantityInfo& info = humidity::Info(q);
        const QString unit = Utf8Text(info.unit);
        QString name = Utf8Text(info.english);
        QString deviceClass;
        // A depression is a difference: as a temperature it would be converted as one.
        const bool difference = q == humidity::Quantity::Depression || q == humidity::Quantity::DepressionF;
        if ((unit == QStringLiteral("°C") || unit == QStringLiteral("°F")) && !difference)
            deviceClass = QStringLiteral("temperature");
        else if (unit == QLatin1String("hPa"))
            deviceClass = QStringLiteral("pressure");
        else if (unit == QLatin1String("%"))
            deviceClass = QStringLiteral("humidity");
        if (unit == QStringLiteral("°F"))
            name += QStringLiteral(" (°F)");  // beside the same quantity in °C
        sensors.push_back({JsonName(q), name, unit, deviceClass});
    }

    const QString id = QStringLiteral("hmx700_%1").arg(version.serialNumber);
    const QJsonObject device{
        {QStringLiteral("identifiers"), QJsonArray{id}},
        {QStringLiteral("name"), QStringLiteral("HMX-700 %1").arg(version.serialNumber)},
        {QStringLiteral("manufacturer"), QStringLiteral("VELTA Sensor-Works")},
        {QStringLiteral("model"), QStringLiteral("HMX-700")},
        {QStringLiteral("sw_version"), Firmware(version)},
    };
    // "searching" (the instrument lost) and "offline" both make the values unavailable,
    // rather than leaving the last one standing.
    const QJsonArray availability{QJsonObject{
        {QStringLiteral("topic"), baseTopic + QStringLiteral("/status")},
        {QStringLiteral("value_template"), QStringLiteral("{{ 'online' if value == 'measuring' else 'offline' }}")},
    }};
    std::vector<std::pair<QString, QByteArray>> configs;
    for (const Sensor& s : sensors) {
        QJsonObject config{
            {QStringLiteral("name"), s.name},
            {QStringLiteral("unique_id"), id + QLatin1Char('_') + s.key},
            {QStringLiteral("state_topic"), baseTopic + QStringLiteral("/reading")},
            {QStringLiteral("value_template"), QStringLiteral("{{ value_json.%1 }}").arg(s.key)},
            {QStringLiteral("unit_of_measurement"), s.unit},
            {QStringLiteral("state_class"), QStringLiteral("measurement")},
            {QStringLiteral("availability"), availability},
            {QStringLiteral("device"), device},
        };
        if (!s.deviceClass.isEmpty())
            config.insert(QStringLiteral("device_class"), s.deviceClass);
        configs.emplace_back(QStringLiteral("%1/sensor/%2/%3/config").arg(prefix, id, s.key),
                             QJsonDocument(config).toJson(QJsonDocument::Compact));
    }
    return configs;
}

} // namespace hmx
