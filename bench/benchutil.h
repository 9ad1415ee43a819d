// What every benchmark shares: milliseconds, and the spread of the repetitions
// (minimum and maximum beside the library's mean, median and standard deviation).
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

namespace bench {

inline double Minimum(const std::vector<double>& values)
{
    return values.empty() ? 0.0 : *std::min_element(values.begin(), values.end());
}

inline double Maximum(const std::vector<double>& values)
{
    return values.empty() ? 0.0 : *std::max_element(values.begin(), values.end());
}

// For BENCHMARK(...)->Apply(bench::Defaults).
inline void Defaults(benchmark::internal::Benchmark* b)
{
    b->Unit(benchmark::kMillisecond)->ComputeStatistics("min", &Minimum)->ComputeStatistics("max", &Maximum);
}

} // namespace bench
