// Limits the user sets on a quantity: upper and lower alarm and warning limits (each
// optional), a hysteresis and a delay. Plain values, keyed by a quantity id that grows
// with the derived quantities, so the window, the chart and the store all read the same.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace hmx::limits {

// A quantity the program can watch. The measured ones come first; derived ones
// (frost point, ppmV ...) take further ids and keep these.
enum class QuantityId : std::uint16_t {
    DewPoint = 0,
    Humidity = 1,
    Ambient = 2,
};

struct QuantityInfo {
    QuantityId id;
    std::string_view key;  // stored preferences and the journal use it; never changes
};

inline constexpr std::array<QuantityInfo, 3> MeasuredQuantities = {{
    {QuantityId::DewPoint, "dewPoint"},
    {QuantityId::Humidity, "humidity"},
    {QuantityId::Ambient, "ambient"},
}};

// The key of a quantity ("dewPoint"); empty for an id without one yet.
std::string_view QuantityKey(QuantityId id);

enum class Level : std::uint8_t { None, Warning, Alarm };

// The four limits of a quantity, from the lowest to the highest; also an index.
enum class Bound : std::uint8_t { AlarmLow, WarningLow, WarningHigh, AlarmHigh };
inline constexpr int BoundCount = 4;
inline constexpr std::array<Bound, BoundCount> AllBounds = {Bound::AlarmLow, Bound::WarningLow, Bound::WarningHigh,
                                                            Bound::AlarmHigh};

constexpr bool IsHigh(Bound b)
{
    return b == Bound::WarningHigh || b == Bound::AlarmHigh;
}

constexpr Level LevelOf(Bound b)
{
    return b == Bound::AlarmLow || b == Bound::AlarmHigh ? Level::Alarm : Level::Warning;
}

// A delay longer than a day would hide an alarm for good.
inline constexpr double LongestDelaySeconds = 86400;

struct Limits {
    std::array<std::optional<double>, BoundCount> bound;  // indexed by Bound; empty: no such limit
    double hysteresis = 0;  // how far back inside a reading must come to clear, in the quantity's unit
    double delaySeconds = 0;  // how long a reading must stay past a limit before it counts

    std::optional<double>& operator[](Bound b) { return bound[std::size_t(b)]; }
    const std::optional<double>& operator[](Bound b) const { return bound[std::size_t(b)]; }
    bool any() const;

    friend bool operator==(const Limits&, const Limits&) = default;
};

// What makes a set of limits nonsense; `bound` (and `other`) say which limits.
struct LimitCheck {
    enum class Problem : std::uint8_t {
        None,
        WarningBeyondAlarm,  // a warning limit outside its alarm limit
        LowAboveHigh,        // a lower limit at or above an upper one
        NegativeHysteresis,
        NegativeDelay,
        DelayTooLong,        // beyond LongestDelaySeconds
    };
    Problem problem = Problem::None;
    Bound bound = Bound::AlarmLow;
    Bound other = Bound::AlarmLow;

    explicit operator bool() const { return problem == Problem::None; }
};

LimitCheck Validate(const Limits& limits);

} // namespace hmx::limits
