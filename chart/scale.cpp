#include "chart/scale.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace hmx::chart {

namespace {

// Label steps of the time axis. Below a minute the "hh:mm" text repeats, so there
// only the first label and those where the minute changes are written.
constexpr double TimeSteps[] = {
    1 * Second, 2 * Second, 5 * Second, 10 * Second, 15 * Second, 30 * Second,
    60 * Second, 120 * Second, 300 * Second, 600 * Second, 900 * Second, 1800 * Second,
    1.0 / 24, 2.0 / 24, 3.0 / 24, 4.0 / 24, 6.0 / 24, 12.0 / 24,
    1, 2, 7, 14, 28, 56, 112, 224, 448};

} // namespace

Range DrawnRange(double min, double max, double pad)
{
    if (max > min)
        return {min, max};
    return {min - pad, min + pad};
}

double NiceStep(double raw)
{
    if (!(raw > 0) || !std::isfinite(raw))
        return 1;
    const double decade = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        if (m * decade >= raw * (1 - 1e-12))
            return m * decade;
    }
    return 10 * decade;
}

double TimeStep(double pixelsPerDay, double pixels)
{
    double step = TimeSteps[std::size(TimeSteps) - 1];
    for (double s : TimeSteps) {
        if (s * pixelsPerDay >= pixels) {
            step = s;
            break;
        }
    }
    if (pixelsPerDay > 0 && std::isfinite(pixelsPerDay)) {
        while (step * pixelsPerDay < pixels)
            step *= 2;  // a chart spanning years
    }
    return step;
}

std::vector<double> TicksWithin(double lo, double hi, double step)
{
    // Near 46,000 days a 10-second step gives quotients of about 4e8, where the
    // division's rounding error outgrows any fixed epsilon: compare the products.
    const double slack = step * 1e-6;  // far below a pixel at any step in use
    double first = std::ceil(lo / step);
    if ((first - 1) * step >= lo - slack)
        first -= 1;
    else if (first * step < lo - slack)
        first += 1;
    double last = std::floor(hi / step);
    if ((last + 1) * step <= hi + slack)
        last += 1;
    else if (last * step > hi + slack)
        last -= 1;
    std::vector<double> ticks;
    for (double k = first; k <= last; k += 1)
        ticks.push_back(k * step);
    return ticks;
}

int DecimalsFor(double step)
{
    return std::max(0, -static_cast<int>(std::floor(std::log10(step) + 1e-9)));
}

QString ValueLabel(double v, double step)
{
    if (std::abs(v) < step * 1e-6)
        v = 0;  // no "-0"
    return QLocale().toString(v, 'f', DecimalsFor(step));
}

} // namespace hmx::chart
