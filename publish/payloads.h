// The JSON a broker receives: one reading, the instrument's info, Home Assistant's
// discovery configs. Plain functions over values; '.' as decimal point whatever the locale.
#pragma once

#include "instrument/derived.h"
#include "instrument/poller.h"
#include "link/protocol.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

namespace hmx {

// The local time of a moment with its offset from UTC, written out also when it is zero:
// "2026-12-08T09:15:02.250+01:00". One moment also in the hour that autumn repeats.
QString TimeText(const QDateTime& time);

// {"time":"2026-12-08T09:15:02.250+01:00","number":17,"humidity":45.6,"dewPoint":-10.5,"ambient":21.3}
// then the derived quantities the reading carries by their JSON names ("frostPoint":-11.42),
// each with the decimals the window shows, or null where the reading lies outside the
// formulas' range.
QByteArray ReadingPayload(const Reading& reading);

// {"model":"HMX-700","firmware":"1.2","serialNumber":1234,"program":"hmx700 1.01"}
QByteArray InfoPayload(const VersionInfo& version);

// {"time":"2026-12-08T09:15:02.250+01:00","kind":"limit-crossed","quantity":"dewPoint",...}:
// one event of the event journal, its "name=value" details as members (texts, as written).
QByteArray EventPayload(const QDateTime& time, const QString& kind, const QStringList& details);

// The retained discovery messages (topic, payload) under `prefix` that make the three
// quantities and the chosen derived ones appear in Home Assistant with their units,
// tied to `baseTopic`'s reading and status: available only while it says "measuring".
std::vector<std::pair<QString, QByteArray>> HomeAssistantConfigs(const QString& baseTopic, const VersionInfo& version,
                                                                 const DerivedChoice& derived = {},
                                                                 const QString& prefix = QStringLiteral("homeassistant"));

} // namespace hmx
