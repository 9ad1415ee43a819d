#include "session/limitwatches.h"

#include <QDateTime>

namespace hmx {

using limits::Level;
using limits::Millis;
using limits::QuantityId;

LimitWatches::LimitWatches(std::chrono::milliseconds joiningDistance)
{
    for (const limits::QuantityInfo& q : limits::MeasuredQuantities)
        m_watched.emplace(q.id, Watched{limits::LimitWatch({}, joiningDistance.count()), {}});
}

Millis LimitWatches::Now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

QuantityLimitEvents LimitWatches::setPreferences(const AlarmPreferences& preferences, Millis now)
{
    m_preferences = preferences;
    QuantityLimitEvents out;
    for (auto& [quantity, w] : m_watched)
        note(quantity, w, w.watch.setLimits(preferences.of(quantity), now), now, out);
    return out;
}

bool LimitWatches::setInstrumentSettings(const SettingsValues& settings)
{
    m_instrumentRead = true;
    std::vector<InstrumentAlarm> alarms = InstrumentAlarms(settings);
    if (alarms == m_instrumentAlarms)
        return false;
    m_instrumentAlarms = std::move(alarms);
    return true;
}

QuantityLimitEvents LimitWatches::observe(QuantityId quantity, double value, Millis now)
{
    QuantityLimitEvents out;
    const auto found = m_watched.find(quantity);
    if (found != m_watched.end()) {
        const limits::LimitEvents events = found->second.watch.update(value, now);
        if (!events.empty())
            note(quantity, found->second, events, now, out);
    }
    return out;
}

QuantityLimitEvents LimitWatches::acknowledge(Millis now)
{
    QuantityLimitEvents out;
    for (auto& [quantity, w] : m_watched)
        note(quantity, w, w.watch.acknowledge(now), now, out);
    return out;
}

QuantityLimitEvents LimitWatches::acknowledge(QuantityId quantity, Millis now)
{
    QuantityLimitEvents out;
    const auto found = m_watched.find(quantity);
    if (found != m_watched.end())
        note(quantity, found->second, found->second.watch.acknowledge(now), now, out);
    return out;
}

void LimitWatches::interrupt()
{
    for (auto& [quantity, w] : m_watched)
        w.watch.interrupt();
}

// The periods past an alarm limit run from the first reading past it to the clearing;
// they are kept before the events go out, so whoever hears of an event sees its period.
void LimitWatches::note(QuantityId quantity, Watched& w, const limits::LimitEvents& events, Millis now,
                        QuantityLimitEvents& out)
{
    const limits::LimitStatus status = w.watch.status();
    const bool inAlarm = status.level == Level::Alarm;
    const bool wasInAlarm = !w.alarmPeriods.empty() && !w.alarmPeriods.back().end;
    if (inAlarm && !wasInAlarm)
        w.alarmPeriods.push_back({status.since, std::nullopt});
    else if (!inAlarm && wasInAlarm)
        w.alarmPeriods.back().end = now;
    for (const limits::LimitEvent& e : events)
        out.push_back({quantity, e});
}

limits::LimitStatus LimitWatches::status(QuantityId quantity) const
{
    const auto found = m_watched.find(quantity);
    return found == m_watched.end() ? limits::LimitStatus{} : found->second.watch.status();
}

std::vector<limits::Period> LimitWatches::alarmPeriods(QuantityId quantity) const
{
    const auto found = m_watched.find(quantity);
    return found == m_watched.end() ? std::vector<limits::Period>{} : found->second.alarmPeriods;
}

bool LimitWatches::unacknowledged(QuantityId quantity, Level level) const
{
    const auto found = m_watched.find(quantity);
    return found != m_watched.end() && found->second.watch.unacknowledged(level);
}

bool LimitWatches::unacknowledged(Level level) const
{
    for (const auto& [quantity, w] : m_watched) {
        if (w.watch.unacknowledged(level))
            return true;
    }
    return false;
}

bool LimitWatches::crossed() const
{
    for (const auto& [quantity, w] : m_watched) {
        if (w.watch.status().level != Level::None)
            return true;
    }
    return false;
}

} // namespace hmx
