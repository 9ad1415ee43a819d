// The user's limits and alarm sounds, kept between runs with QSettings: on Linux in
// ~/.config/hmx700/hmx700.conf, on Windows under HKEY_CURRENT_USER\Software\hmx700\hmx700.
#pragma once

#include "limits/limits.h"

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

AlarmPreferences LoadAlarmPreferences(QSettings& settings);
void SaveAlarmPreferences(QSettings& settings, const AlarmPreferences& preferences);

} // namespace hmx
