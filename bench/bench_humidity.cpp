// Every humidity quantity of one reading: air temperature and dew point at the process
// pressure, with the dew point at a second pressure. One iteration is one reading; the
// readings cycle through dry and humid air, below and above freezing.
#include "benchutil.h"

#include "humidity/quantities.h"

#include <array>

namespace {

void HumidityAllQuantities(benchmark::State& state)
{
    using namespace hmx::humidity;
    // Dew points from a compressed-air dryer's to a humid room's.
    constexpr std::array<double, 8> dewPoints{-45.0, -30.5, -12.2, -0.4, 3.1, 9.8, 16.4, 21.7};
    Conditions c;
    c.temperature = 23.5;
    c.pressure = 101325;
    c.secondPressure = 801325;  // 7 bar(g)
    std::size_t i = 0;
    for (auto _ : state) {
        const State s = Compute(c, Input::DewPoint, dewPoints[i++ % dewPoints.size()]);
        benchmark::DoNotOptimize(s);
    }
}

} // namespace

// The time of one iteration is the time of one reading, in ns.
BENCHMARK(HumidityAllQuantities)->Apply(bench::Defaults)->Unit(benchmark::kNanosecond);
