// The instrument's own two alarms as the program can show them: each alarm that is
// switched on and whose unit a chart line shows, with its thresholds converted to that
// line's unit (°Fdp and °F to °C). The instrument's relay decides by itself; these are
// the thresholds as read.
#pragma once

#include "instrument/settings.h"
#include "limits/limits.h"

#include <cstdint>
#include <vector>

namespace hmx {

struct InstrumentAlarm {
    int number = 1;                 // 1 or 2: "A1", "A2"
    std::uint8_t mode = 0;          // alarm mode code, 1-6
    limits::QuantityId quantity = limits::QuantityId::DewPoint;
    double high = 0;                // upper threshold, in the line's unit
    double low = 0;                 // lower threshold

    friend bool operator==(const InstrumentAlarm&, const InstrumentAlarm&) = default;
};

// The alarms of these settings that a chart line can show, alarm 1 first.
std::vector<InstrumentAlarm> InstrumentAlarms(const SettingsValues& settings);

// Whether the program's limits can say what the alarm's mode says: not for
// "3 inside", whose alarm is between the thresholds.
bool CanCopy(const InstrumentAlarm& alarm);

// The alarm's thresholds put into `limits` as alarm limits, as its mode uses them:
// upper (1), lower (2), both (4), upper or lower with the gap between the thresholds
// as hysteresis (5, 6). Other limits stay.
limits::Limits CopyAlarm(const InstrumentAlarm& alarm, limits::Limits limits);

} // namespace hmx
