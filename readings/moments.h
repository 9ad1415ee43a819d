// Count, sum and spread of a line's values, kept per chunk of its store and merged.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hmx::readings {

// Count, sum and spread of values that neither loses precision over millions of them:
// the sum exact in hundredths for values on that grid and compensated (Neumaier) for
// the rest; the squared deviations from the mean updated one value at a time
// (Welford) and merged by Chan's formula, never as a difference of large sums.
struct Moments {
    std::size_t count = 0;
    std::int64_t hundredths = 0;  // the part of the sum on the grid
    double wide = 0;              // the rest, with the error it has lost
    double carry = 0;
    double m2 = 0;  // sum of squared deviations from the mean

    double sum() const { return static_cast<double>(hundredths) / 100.0 + (wide + carry); }
    double mean() const { return sum() / static_cast<double>(count); }
    void addHundredths(std::int32_t n);
    void add(double v);
    void add(const Moments& o);

private:
    void addWide(double v);
    void spread(double v, double before);
};

} // namespace hmx::readings
