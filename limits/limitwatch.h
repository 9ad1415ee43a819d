// LimitWatch: follows one quantity's readings against its limits and says when a
// limit is crossed (the reading past it for the delay), cleared (back inside by the
// hysteresis) and acknowledged. Pure and allocation-free: a reading costs a few
// comparisons, so it runs on the window thread beside every reading.
#pragma once

#include "limits/limits.h"

#include <array>
#include <cstdint>
#include <optional>

namespace hmx::limits {

using Millis = std::int64_t;  // milliseconds since the epoch

struct LimitEvent {
    enum class Kind : std::uint8_t { Crossed, Cleared, Acknowledged };
    Kind kind = Kind::Crossed;
    Bound bound = Bound::AlarmHigh;
    double value = 0;  // the reading that caused it (Acknowledged: the latest)
    double limit = 0;
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
    LimitWatch() = default;
    explicit LimitWatch(const Limits& limits) : m_limits(limits) {}

    const Limits& limits() const { return m_limits; }
    // New limits start afresh; a limit that was crossed is cleared (events in the
    // result) and the next readings decide again.
    LimitEvents setLimits(const Limits& limits, Millis now);

    // One reading at `now`. A NaN (no reading) changes nothing.
    LimitEvents update(double value, Millis now);
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

    Limits m_limits;
    std::array<State, BoundCount> m_state{};
    double m_last = 0;
};

} // namespace hmx::limits
