// The alarm logic per reading (target: under 10 µs): the three quantities' watches with
// all four limits, a hysteresis and a delay; readings inside the limits (the usual
// case) and readings that cross or clear a limit at every step (the worst case, without
// what the window then shows). SessionLimitsReading is what a measuring session pays per
// reading.
#include "benchutil.h"

#include "limits/limitwatch.h"
#include "session/limitwatches.h"

#include <array>

namespace {

using namespace hmx::limits;

Limits FourLimits()
{
    Limits l;
    l[Bound::AlarmLow] = -20;
    l[Bound::WarningLow] = -15;
    l[Bound::WarningHigh] = 15;
    l[Bound::AlarmHigh] = 20;
    l.hysteresis = 0.5;
    l.delaySeconds = 1;
    return l;
}

void LimitWatchReading(benchmark::State& state)
{
    const bool crossing = state.range(0) != 0;
    constexpr Millis joining = 5000;
    std::array<LimitWatch, 3> watches{LimitWatch(FourLimits(), joining), LimitWatch(FourLimits(), joining),
                                      LimitWatch(FourLimits(), joining)};
    Millis now = 0;
    int events = 0;
    for (auto _ : state) {
        now += 1000;  // each reading a second later: the delay is met at the second reading past
        // Crossing: 25, 25, 0, 0 ... crosses both upper limits, then clears them.
        const double value = crossing ? ((now / 2000) % 2 == 0 ? 25.0 : 0.0) : double(now % 7);
        for (LimitWatch& w : watches)
            events += w.update(value, now).count;
        benchmark::DoNotOptimize(events);
    }
    state.counters["events_per_reading"] = benchmark::Counter(double(events) / double(state.iterations()));
}
BENCHMARK(LimitWatchReading)->Apply(bench::Defaults)->Unit(benchmark::kMicrosecond)->Arg(0)->Arg(1);

// What a measuring session pays per reading for its limits, whichever front end shows them.
void SessionLimitsReading(benchmark::State& state)
{
    hmx::LimitWatches watches(std::chrono::seconds(5));
    hmx::AlarmPreferences preferences;
    for (const QuantityInfo& q : MeasuredQuantities)
        preferences.limits[q.id] = FourLimits();
    watches.setPreferences(preferences, 0);
    Millis now = 0;
    std::size_t events = 0;
    for (auto _ : state) {
        now += 500;
        const double value = double(now % 7);
        for (const QuantityInfo& q : MeasuredQuantities)
            events += watches.observe(q.id, value, now).size();
        benchmark::DoNotOptimize(events);
    }
}
BENCHMARK(SessionLimitsReading)->Apply(bench::Defaults)->Unit(benchmark::kMicrosecond);

} // namespace
