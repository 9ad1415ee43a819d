// The user's limits and alarm sounds, kept between runs with QSettings: on Linux in
// ~/.config/hmx700/hmx700.conf, on Windows under HKEY_CURRENT_USER\Software\hmx700\hmx700.
// The recorder reads the same "limits/" keys from its INI file.
#pragma once

#include "limits/limits.h"

#include <QLatin1StringView>

#include <map>
#include <memory>

class QSettings;

namespace hmx {

struct AlarmPreferences {
    std::map<limits::QuantityId, limits::Limits> limits;  // quantities without an entry have none
    bool soundForAlarms = true;
    bool soundForWarnings = false;

    limits::Limits of(limits::QuantityId id) const;
    friend bool operator==(const AlarmPreferences&, const AlarmPreferences&) = default;
};

// The program's own stored preferences (organisation and application "hmx700").
std::unique_ptr<QSettings> ProgramSettings();

// "limits/<quantity>/<bound>" (see BoundSettingsKey), ".../hysteresis" and ".../delay" for
// each quantity with limits, "alarms/soundForAlarms" and "alarms/soundForWarnings".
AlarmPreferences LoadAlarmPreferences(QSettings& settings);
void SaveAlarmPreferences(QSettings& settings, const AlarmPreferences& preferences);

// A limit's key within its quantity's group: "alarmLow", "warningHigh" ...
QLatin1StringView BoundSettingsKey(limits::Bound bound);

} // namespace hmx
