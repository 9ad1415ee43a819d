#include "instrument/alarmthresholds.h"

#include <optional>

namespace hmx {

namespace {

using limits::QuantityId;

struct UnitLine {
    QuantityId quantity;
    bool fahrenheit;
};

// Display unit codes shown by a chart line: 0 °Cdp, 1 °Fdp, 3 %Rh, 5 °C, 6 °F.
std::optional<UnitLine> LineOfUnit(std::uint8_t unit)
{
    switch (unit) {
    case 0: return UnitLine{QuantityId::DewPoint, false};
    case 1: return UnitLine{QuantityId::DewPoint, true};
    case 3: return UnitLine{QuantityId::Humidity, false};
    case 5: return UnitLine{QuantityId::Ambient, false};
    case 6: return UnitLine{QuantityId::Ambient, true};
    default: return std::nullopt;  // g/m3, aw, t-tdp: no line shows them
    }
}

double ToLine(std::int16_t tenths, bool fahrenheit)
{
    const double value = tenths / 10.0;
    return fahrenheit ? (value - 32.0) * 5.0 / 9.0 : value;
}

} // namespace

std::vector<InstrumentAlarm> InstrumentAlarms(const SettingsValues& s)
{
    struct Source {
        int number;
        std::uint8_t mode;
        std::uint8_t unit;
        std::int16_t high;
        std::int16_t low;
    };
    // Alarm 1 follows the upper display's unit, alarm 2 the lower one's. The g/m3 unit,
    // the only one whose values are Scaled, is on no line.
    const Source sources[] = {
        {1, s.Alarm1Mode, s.UpperUnit, s.Alarm1High, s.Alarm1Low},
        {2, s.Alarm2Mode, s.LowerUnit, s.Alarm2High, s.Alarm2Low},
    };
    std::vector<InstrumentAlarm> alarms;
    for (const Source& source : sources) {
        const std::optional<UnitLine> line = LineOfUnit(source.unit);
        if (source.mode == 0 || source.mode > 6 || !line)
            continue;
        alarms.push_back({source.number, source.mode, line->quantity, ToLine(source.high, line->fahrenheit),
                          ToLine(source.low, line->fahrenheit)});
    }
    return alarms;
}

bool CanCopy(const InstrumentAlarm& alarm)
{
    return alarm.mode != 3;
}

limits::Limits CopyAlarm(const InstrumentAlarm& alarm, limits::Limits l)
{
    using limits::Bound;
    switch (alarm.mode) {
    case 1:
        l[Bound::AlarmHigh] = alarm.high;
        break;
    case 2:
        l[Bound::AlarmLow] = alarm.low;
        break;
    case 4:
        l[Bound::AlarmHigh] = alarm.high;
        l[Bound::AlarmLow] = alarm.low;
        break;
    case 5:
        l[Bound::AlarmHigh] = alarm.high;
        l.hysteresis = alarm.high > alarm.low ? alarm.high - alarm.low : 0;
        break;
    case 6:
        l[Bound::AlarmLow] = alarm.low;
        l.hysteresis = alarm.high > alarm.low ? alarm.high - alarm.low : 0;
        break;
    default:
        break;
    }
    return l;
}

} // namespace hmx
