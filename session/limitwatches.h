// The limit watches of one instrument: a LimitWatch per measured quantity with the user's
// limits, the periods spent past an alarm limit, and the instrument's own alarms as last
// read. Widget-free, so the window and the recorder watch the same way; a reading costs a
// few comparisons and allocates nothing unless a limit is crossed or cleared.
#pragma once

#include "instrument/alarmthresholds.h"
#include "limits/limitsettings.h"
#include "limits/limitwatch.h"

#include <chrono>
#include <map>
#include <vector>

namespace hmx {

struct QuantityLimitEvent {
    limits::QuantityId quantity;
    limits::LimitEvent event;
};
using QuantityLimitEvents = std::vector<QuantityLimitEvent>;

class LimitWatches {
public:
    // Readings further apart than `joiningDistance` start a limit's delay again.
    explicit LimitWatches(std::chrono::milliseconds joiningDistance);

    const AlarmPreferences& preferences() const { return m_preferences; }
    // Limits that stay keep their state; changed ones are decided again from the latest
    // reading (see LimitWatch::setLimits).
    QuantityLimitEvents setPreferences(const AlarmPreferences& preferences, limits::Millis now);

    // The instrument's settings as last read or saved; true when its alarms changed.
    bool setInstrumentSettings(const SettingsValues& settings);
    const std::vector<InstrumentAlarm>& instrumentAlarms() const { return m_instrumentAlarms; }
    bool instrumentRead() const { return m_instrumentRead; }

    // One reading of a quantity; a quantity not watched gives nothing.
    QuantityLimitEvents observe(limits::QuantityId quantity, double value, limits::Millis now);
    // Every crossed limit not yet acknowledged, or those of one quantity.
    QuantityLimitEvents acknowledge(limits::Millis now);
    QuantityLimitEvents acknowledge(limits::QuantityId quantity, limits::Millis now);
    // The readings broke off (the instrument lost, measuring ended): delays start again.
    void interrupt();

    limits::LimitStatus status(limits::QuantityId quantity) const;
    // The periods spent past an alarm limit, oldest first; the last has no end while it lasts.
    std::vector<limits::Period> alarmPeriods(limits::QuantityId quantity) const;
    // A crossed limit of this level waits for acknowledgement, of one quantity or of any.
    bool unacknowledged(limits::QuantityId quantity, limits::Level level) const;
    bool unacknowledged(limits::Level level) const;
    // Some quantity is past a limit now.
    bool crossed() const;

    // The current time as the watches count it.
    static limits::Millis Now();

private:
    struct Watched {
        limits::LimitWatch watch;
        std::vector<limits::Period> alarmPeriods;
    };

    void note(limits::QuantityId quantity, Watched& w, const limits::LimitEvents& events, limits::Millis now,
              QuantityLimitEvents& out);

    AlarmPreferences m_preferences;
    std::vector<InstrumentAlarm> m_instrumentAlarms;
    bool m_instrumentRead = false;
    std::map<limits::QuantityId, Watched> m_watched;
};

} // namespace hmx
