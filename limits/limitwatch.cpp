#include "limits/limitwatch.h"

#include <cmath>

namespace hmx::limits {

namespace {

// Past a limit means beyond it: a reading exactly on the limit is still inside.
bool Past(Bound b, double value, double limit)
{
    return IsHigh(b) ? value > limit : value < limit;
}

// Back inside by the hysteresis: on the limit itself when it is 0.
bool Inside(Bound b, double value, double limit, double hysteresis)
{
    return IsHigh(b) ? value <= limit - hysteresis : value >= limit + hysteresis;
}

} // namespace

LimitEvents LimitWatch::setLimits(const Limits& limits, Millis now)
{
    LimitEvents events;
    for (const Bound b : AllBounds) {
        if (m_state[std::size_t(b)].crossed)
            events.push({LimitEvent::Kind::Cleared, b, m_last, *m_limits[b], now});
    }
    m_limits = limits;
    m_state = {};
    return events;
}

LimitEvents LimitWatch::update(double value, Millis now)
{
    LimitEvents events;
    if (std::isnan(value))
        return events;
    m_last = value;
    const Millis delay = Millis(std::llround(m_limits.delaySeconds * 1000.0));
    for (const Bound b : AllBounds) {
        const std::optional<double>& limit = m_limits[b];
        if (!limit)
            continue;
        State& s = m_state[std::size_t(b)];
        if (s.crossed) {
            if (Inside(b, value, *limit, m_limits.hysteresis)) {
                s = {};
                events.push({LimitEvent::Kind::Cleared, b, value, *limit, now});
            }
            continue;
        }
        if (!Past(b, value, *limit)) {
            s.past = false;  // the delay starts again with the next reading past it
            continue;
        }
        if (!s.past) {
            s.past = true;
            s.since = now;
        }
        if (now - s.since >= delay) {
            s.crossed = true;
            s.acknowledged = false;
            events.push({LimitEvent::Kind::Crossed, b, value, *limit, now});
        }
    }
    return events;
}

LimitEvents LimitWatch::acknowledge(Millis now)
{
    LimitEvents events;
    for (const Bound b : AllBounds) {
        State& s = m_state[std::size_t(b)];
        if (s.crossed && !s.acknowledged) {
            s.acknowledged = true;
            events.push({LimitEvent::Kind::Acknowledged, b, m_last, *m_limits[b], now});
        }
    }
    return events;
}

LimitStatus LimitWatch::status() const
{
    LimitStatus status;
    for (const Level level : {Level::Alarm, Level::Warning}) {
        for (const Bound b : AllBounds) {
            const State& s = m_state[std::size_t(b)];
            if (!s.crossed || LevelOf(b) != level)
                continue;
            if (status.level == Level::None) {
                status = {level, b, *m_limits[b], s.since, s.acknowledged};
            } else {
                status.acknowledged = status.acknowledged && s.acknowledged;
            }
        }
        if (status.level != Level::None)
            break;
    }
    return status;
}

bool LimitWatch::unacknowledged(Level level) const
{
    for (const Bound b : AllBounds) {
        const State& s = m_state[std::size_t(b)];
        if (s.crossed && !s.acknowledged && LevelOf(b) == level)
            return true;
    }
    return false;
}

} // namespace hmx::limits
