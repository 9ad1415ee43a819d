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

Millis DelayOf(const Limits& limits)
{
    return Millis(std::llround(limits.delaySeconds * 1000.0));
}

// Every reading past `old` is past `moved` too, so a run past the old limit goes on.
bool NoFurtherOut(Bound b, double moved, double old)
{
    return IsHigh(b) ? moved <= old : moved >= old;
}

} // namespace

bool LimitWatch::joined(Millis now) const
{
    // A clock set back is a break too: the run's length could not be told.
    return m_hasLast && now >= m_lastTime && now - m_lastTime <= m_joining;
}

LimitEvents LimitWatch::setLimits(const Limits& limits, Millis now)
{
    LimitEvents events;
    const Limits old = m_limits;
    m_limits = limits;
    const bool current = joined(now);
    const bool timing = old.hysteresis != limits.hysteresis || old.delaySeconds != limits.delaySeconds;
    for (const Bound b : AllBounds) {
        if (old[b] != limits[b] || (limits[b] && timing))
            decide(b, old, current, now, events);
    }
    return events;
}

void LimitWatch::decide(Bound b, const Limits& old, bool current, Millis now, LimitEvents& events)
{
    State& s = m_state[std::size_t(b)];
    const std::optional<double>& limit = m_limits[b];
    if (!limit) {
        if (s.crossed)
            events.push({LimitEvent::Kind::Removed, b, m_last, *old[b], now});
        s = {};
        return;
    }
    if (!current) {
        s.past = false;  // the run starts with the next reading, which also decides a crossed limit
        return;
    }
    if (s.crossed) {
        if (Inside(b, m_last, *limit, m_limits.hysteresis)) {
            s = {};
            events.push({LimitEvent::Kind::Cleared, b, m_last, *limit, now});
        }
        return;
    }
    if (!Past(b, m_last, *limit)) {
        s.past = false;
        return;
    }
    // The run so far was past the old limit, which says nothing of a limit further out.
    if (!s.past || !old[b] || !NoFurtherOut(b, *limit, *old[b])) {
        s.past = true;
        s.since = m_lastTime;
    }
    if (m_lastTime - s.since >= DelayOf(m_limits)) {
        s.crossed = true;
        s.acknowledged = false;
        events.push({LimitEvent::Kind::Crossed, b, m_last, *limit, now});
    }
}

LimitEvents LimitWatch::update(double value, Millis now)
{
    LimitEvents events;
    if (std::isnan(value))
        return events;
    // The delay counts only time with readings: after a gap or a loss it starts again.
    if (!joined(now)) {
        for (State& s : m_state)
            s.past = false;
    }
    m_last = value;
    m_lastTime = now;
    m_hasLast = true;
    const Millis delay = DelayOf(m_limits);
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

void LimitWatch::interrupt()
{
    m_hasLast = false;
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
