// Tiny benchmark registry: each bench_*.cpp adds its cases with HMX_BENCH.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace bench {

struct Case {
    std::string name;
    std::function<void()> run;
};

inline std::vector<Case>& registry()
{
    static std::vector<Case> cases;
    return cases;
}

struct Registrar {
    Registrar(std::string name, std::function<void()> run) { registry().push_back({std::move(name), std::move(run)}); }
};

// Prints one result line: "name: value unit".
inline void report(const std::string& name, double value, const char* unit)
{
    std::printf("%-60s %12.4f %s\n", name.c_str(), value, unit);
    std::fflush(stdout);
}

} // namespace bench

#define HMX_BENCH_CONCAT2(a, b) a##b
#define HMX_BENCH_CONCAT(a, b) HMX_BENCH_CONCAT2(a, b)
#define HMX_BENCH(name) \
    static void HMX_BENCH_CONCAT(benchBody_, __LINE__)(); \
    static const bench::Registrar HMX_BENCH_CONCAT(benchReg_, __LINE__)(name, &HMX_BENCH_CONCAT(benchBody_, __LINE__)); \
    static void HMX_BENCH_CONCAT(benchBody_, __LINE__)()
