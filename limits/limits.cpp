#include "limits/limits.h"

namespace hmx::limits {

std::string_view QuantityKey(QuantityId id)
{
    for (const QuantityInfo& q : MeasuredQuantities)
        if (q.id == id)
            return q.key;
    return {};
}

bool Limits::any() const
{
    for (const std::optional<double>& b : bound)
        if (b)
            return true;
    return false;
}

LimitCheck Validate(const Limits& limits)
{
    using Problem = LimitCheck::Problem;
    // A warning comes before its alarm: it lies inside it (or on it).
    if (limits[Bound::WarningHigh] && limits[Bound::AlarmHigh] && *limits[Bound::WarningHigh] > *limits[Bound::AlarmHigh])
        return {Problem::WarningBeyondAlarm, Bound::WarningHigh, Bound::AlarmHigh};
    if (limits[Bound::WarningLow] && limits[Bound::AlarmLow] && *limits[Bound::WarningLow] < *limits[Bound::AlarmLow])
        return {Problem::WarningBeyondAlarm, Bound::WarningLow, Bound::AlarmLow};
    // Every lower limit below every upper one, else a reading could be past both at once.
    for (const Bound low : {Bound::AlarmLow, Bound::WarningLow}) {
        for (const Bound high : {Bound::WarningHigh, Bound::AlarmHigh}) {
            if (limits[low] && limits[high] && *limits[low] >= *limits[high])
                return {Problem::LowAboveHigh, low, high};
        }
    }
    if (!(limits.hysteresis >= 0))
        return {Problem::NegativeHysteresis};
    if (!(limits.delaySeconds >= 0))
        return {Problem::NegativeDelay};
    if (!(limits.delaySeconds <= LongestDelaySeconds))
        return {Problem::DelayTooLong};
    return {};
}

} // namespace hmx::limits
