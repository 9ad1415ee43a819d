// Saturation vapour pressure of water and ice, and the enhancement factor of moist air.
//
// Saturation vapour pressure: D. Sonntag, "Important new values of the physical constants
// of 1986, vapour pressure formulations based on the ITS-90, and psychrometer formulae",
// Z. Meteorol. 40 (1990) 340-344 (ITS-90 temperatures):
//   over water  ln ew = -6096.9385/T + 21.2409642 - 2.711193e-2 T + 1.673952e-5 T² + 2.433502 ln T
//               valid -100 to +100 °C (below 0 °C: supercooled water)
//   over ice    ln ei = -6024.5282/T + 29.32707 + 1.0613868e-2 T - 1.3198825e-5 T² - 0.49382577 ln T
//               valid -100 to +0.01 °C
// with ew, ei in Pa and T in K. Both give 611.657 Pa at the triple point (0.01 °C).
//
// Enhancement factor f (the vapour pressure of saturated moist air at total pressure P is
// f·ew): L. Greenspan, "Functional equations for the enhancement factors for CO2-free
// moist air", J. Res. NBS 80A (1976) 41-44, with the ITS-90 coefficients of B. Hardy,
// "ITS-90 formulations for vapor pressure, frostpoint temperature, dewpoint temperature,
// and enhancement factors in the range -100 to +100 °C", Proc. Third Int. Symposium on
// Humidity and Moisture, Teddington (1998):
//   ln f = α(1 - es/P) + β(P/es - 1),  α = Σ A_i t^i,  β = exp(Σ B_i t^i),  i = 0..3
//   water -50 to +100 °C, ice -100 to +0.01 °C; total pressures up to 2 MPa.
//
// Every function gives std::nullopt outside these ranges or for a non-finite input,
// never an extrapolated number.
#pragma once

#include <optional>

namespace hmx::humidity {

inline constexpr double KelvinOffset = 273.15;
inline constexpr double TriplePoint = 0.01;           // °C; ice below it, water from it up
inline constexpr double MaxPressure = 2.0e6;          // Pa, the enhancement factor's range
inline constexpr double StandardAtmosphere = 101325;  // Pa, the zero of gauge pressures

struct TemperatureRange {
    double low, high;  // °C, both included
    constexpr bool contains(double t) const { return t >= low && t <= high; }  // false for NaN
};
inline constexpr TemperatureRange WaterRange{-100, 100};
inline constexpr TemperatureRange IceRange{-100, TriplePoint};
inline constexpr TemperatureRange EnhancementWaterRange{-50, 100};
inline constexpr TemperatureRange EnhancementIceRange{-100, TriplePoint};

enum class Phase { Water, Ice };

// Saturation vapour pressure of the pure phase in Pa, at t °C.
std::optional<double> SaturationPressure(Phase phase, double t);
// Over the stable phase: ice below 0.01 °C, water from 0.01 °C up.
std::optional<double> SaturationPressure(double t);

// Enhancement factor over the phase at t °C and total pressure p Pa (0 < p <= 2 MPa).
std::optional<double> EnhancementFactor(Phase phase, double t, double p);

// Vapour pressure in Pa of a gas at total pressure p whose dew point (over water) or
// frost point (over ice) is t: f(t, p)·es(t).
std::optional<double> VapourPressureAt(Phase phase, double t, double p);

// The inverse: the dew point (water) or frost point (ice) in °C of a gas at total
// pressure p holding vapour pressure e Pa; nullopt when it falls outside the range.
std::optional<double> CondensationPoint(Phase phase, double e, double p);

// The dew point the same gas has at total pressure p2, when it is td at p1 (the vapour's
// share of the gas stays the same: a dryer's pressure dew point and the atmospheric one).
std::optional<double> DewPointAtPressure(double td, double p1, double p2);

// Unchecked pieces for callers that have checked the ranges themselves.
namespace detail {
// ln es(t) and its derivative d ln es / dt, pure phase.
double LnSaturation(Phase phase, double t);
double LnSaturationSlope(Phase phase, double t);
// ln f given es.
double LnEnhancement(Phase phase, double t, double p, double es);
// f(t, p)·es(t).
double VapourPressureAt(Phase phase, double t, double p);
} // namespace detail

} // namespace hmx::humidity
