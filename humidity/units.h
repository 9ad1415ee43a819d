// Numbers and pressures as scripts and the calculator write them: '.' as the decimal
// separator in every locale, a pressure always with its unit ("8bar", "1013.25 hPa").
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace hmx::humidity {

struct PressureUnit {
    std::string_view name;  // "hPa", "barg"
    double pascals;         // one unit in Pa
    bool gauge;             // above the standard atmosphere (101325 Pa)
};

// hPa, kPa, bar, psi (absolute), barg, psig (gauge).
std::span<const PressureUnit> PressureUnits();

// The absolute pressure in Pa of `value` in `unit`.
double ToPascals(double value, const PressureUnit& unit);

// A whole decimal number with '.' and one sign at most ("-40", "+1.5e3"); nullopt for
// anything else, also for a number followed by other text, and for inf and nan.
std::optional<double> ParseNumber(std::string_view text);

// A number and a unit of PressureUnits(), with or without a space between them: the
// absolute pressure in Pa. nullopt for an unknown unit or a missing one.
std::optional<double> ParsePressure(std::string_view text);

// `value` with `decimals` digits after a '.', whatever the locale.
std::string FormatNumber(double value, int decimals);

} // namespace hmx::humidity
