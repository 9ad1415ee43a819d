// LimitWatch: follows one quantity's readings against its limits and says when a
// limit is crossed (the reading past it for the delay, counted over readings without a
// gap), cleared (back inside by the hysteresis) and acknowledged. Pure and
// allocation-free: a reading costs a few comparisons, so it runs on the window thread
// beside every reading.
#pragma once

#include "limits/limits.h"

#include <array>
#include <cstdint>
#include <optional>

namespace hmx::limits {

using Millis = std::int64_t;  // milliseconds since the epoch

struct LimitEvent {
    // Removed: a crossed limit taken away (or its quantity's limits), whatever the reading.
    enum class Kind : std::uint8_t { Crossed, Cleared, Acknowledged, Removed };
    Kind kind = Kind::Crossed;
    Bound bound = Bound::AlarmHigh;
    double value = 0;  // the reading that caused it (Acknowledged, Removed: the latest)
    double limit = 0;  // Removed: the limit as it was
    Millis time = 0;
};

// The events of one step: at most one per limit.
struct LimitEvents {
    std::array<LimitEvent, BoundCount> items;
    int count = 0;

    void push(const LimitEvent& e) { items[std::size_t(count++)] = e; }
    const LimitEvent* begin() const { return items.data(); }
    const LimitEvent* end() const { return items.data() + count; }
    bool empty() const { return count == 0; }
};

// A stretch of time spent past a limit; no end while it lasts.
struct Period {
    Millis start = 0;
    std::optional<Millis> end;

    friend bool operator==(const Period&, const Period&) = default;
};

// The worst limit crossed now (alarm before warning); level None when none is.
struct LimitStatus {
    Level level = Level::None;
    Bound bound = Bound::AlarmHigh;
    double limit = 0;
    Millis since = 0;           // the first reading past it, of the run that crossed it
    bool acknowledged = false;  // every crossed limit of this level is acknowledged
};

class LimitWatch {
public:
    // Readings further apart than `joiningDistance` are not one run: the delay starts again.
    explicit LimitWatch(const Limits& limits, Millis joiningDistance)
        : m_limits(limits), m_joining(joiningDistance)
    {
    }

    const Limits& limits() const { return m_limits; }
    // A limit whose value, hysteresis and delay stay keeps its state. A changed one is
    // decided again from the latest reading if it is current (within the joining
    // distance of `now`, no loss since): crossed while past it, or inside it but not
    // back by the hysteresis; cleared once back; a crossing starts or goes on with the
    // run of readings already past it. Without a current reading a crossed limit stays
    // crossed until the next reading decides. A crossed limit taken away is Removed.
    LimitEvents setLimits(const Limits& limits, Millis now);

    // One reading at `now`. A NaN (no reading) changes nothing.
    LimitEvents update(double value, Millis now);
    // The readings broke off (the instrument lost, measuring stopped): a delay under
    // way starts again with the next reading; what is crossed stays crossed.
    void interrupt();
    // Acknowledges every crossed limit not yet acknowledged.
    LimitEvents acknowledge(Millis now);

    LimitStatus status() const;
    // A crossed limit of this level is waiting for acknowledgement.
    bool unacknowledged(Level level) const;

private:
    struct State {
        bool past = false;       // readings are past the limit since `since` (delay running)
        bool crossed = false;
        bool acknowledged = false;
        Millis since = 0;
    };

    // The latest reading is current at `now`: the next one continues its run.
    bool joined(Millis now) const;
    // Decides a limit from the latest reading after its value or timing changed.
    void decide(Bound b, const Limits& old, bool current, Millis now, LimitEvents& events);

    Limits m_limits;
    Millis m_joining;
    std::array<State, BoundCount> m_state{};
    double m_last = 0;
    Millis m_lastTime = 0;
    bool m_hasLast = false;  // a reading came since the start or the last interruption
};

} // namespace hmx::limits
