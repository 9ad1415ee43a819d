#include "readings/moments.h"

#include <cmath>

namespace hmx::readings {

void Moments::spread(double v, double before)
{
    // Welford's step, with the means taken from the exact sums.
    if (count > 1)
        m2 += (v - before) * (v - mean());
}

void Moments::addHundredths(std::int32_t n)
{
    const double before = count ? mean() : 0;
    hundredths += n;
    ++count;
    spread(n / 100.0, before);
}

void Moments::addWide(double v)
{
    const double t = wide + v;
    carry += std::abs(wide) >= std::abs(v) ? (wide - t) + v : (v - t) + wide;
    wide = t;
}

void Moments::add(double v)
{
    const double before = count ? mean() : 0;
    addWide(v);
    ++count;
    spread(v, before);
}

void Moments::add(const Moments& o)
{
    if (o.count == 0)
        return;
    if (count == 0) {
        *this = o;
        return;
    }
    const double delta = o.mean() - mean();
    const double n = static_cast<double>(count), m = static_cast<double>(o.count);
    m2 += o.m2 + delta * delta * (n * m / (n + m));
    count += o.count;
    hundredths += o.hundredths;
    addWide(o.wide);
    addWide(o.carry);
}

} // namespace hmx::readings
