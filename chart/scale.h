// Tick choice for the chart's axes: the drawn range, 1-2-5 value steps, whole-unit time
// steps, the ticks in a range and the texts of value labels. Pure functions.
#pragma once

#include <QString>

#include <vector>

namespace hmx::chart {

constexpr double Second = 1.0 / 86400.0;  // in days, the unit of X
constexpr double Millisecond = Second / 1000;

struct Range {
    double lo = 0;
    double hi = 0;
};

// The range an axis is drawn with: a zero-width (or reversed) one gets `pad` either side.
Range DrawnRange(double min, double max, double pad);

// 1, 2 or 5 times a power of ten, at least `raw` (1 for no finite positive raw).
double NiceStep(double raw);

// The finest time step (in days) whose ticks stay `pixels` apart at `pixelsPerDay`:
// whole seconds, minutes, hours, days and weeks, doubled past the longest.
double TimeStep(double pixelsPerDay, double pixels);

// Whole multiples k * step within [lo, hi]; a bound on a step, up to rounding, keeps its tick.
std::vector<double> TicksWithin(double lo, double hi, double step);

// Decimals that tell values `step` apart.
int DecimalsFor(double step);

// A value label in the default locale, with the decimals of its step and no "-0".
QString ValueLabel(double v, double step);

} // namespace hmx::chart
