// Every humidity quantity of one state of moist air, computed at once from the air
// temperature, the total pressure and one humidity quantity (a reading's dew point, or
// what the user typed into the calculator). Each quantity is either a value or out of
// range; the names and units in both languages are here too, for the window and the
// command line. Formulas: formulation.h; ideal-gas mixing of water vapour and air.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

namespace hmx::humidity {

inline constexpr double WaterMolarMass = 18.01528;  // g/mol
inline constexpr double AirMolarMass = 28.96546;    // g/mol, dry air
inline constexpr double GasConstant = 8.314462618;  // J/(mol K)

enum class Quantity {
    Temperature,                // °C, the air temperature given
    DewPoint,                   // °C, over water
    FrostPoint,                 // °C, over ice; only below 0.01 °C
    DewPointAtSecondPressure,   // °C, the same gas at the second pressure
    Depression,                 // K, t − tdp
    RelativeHumidity,           // %, over water
    RelativeHumidityIce,        // %, over ice; only at air temperatures below 0.01 °C
    WaterActivity,              // RH/100
    VapourPressure,             // hPa, the vapour's partial pressure
    SaturationVapourPressure,   // hPa, over water at the air temperature (pure phase)
    AbsoluteHumidity,           // g/m³
    MixingRatio,                // g/kg of dry air
    SpecificHumidity,           // g/kg of moist air
    VolumeRatio,                // ppmV of the dry gas
    MassRatio,                  // ppmW of the dry gas (its molar mass: air unless told)
    Enthalpy,                   // kJ/kg of dry air, 0 for dry air at 0 °C
    WetBulb,                    // °C, psychrometric (ice bulb below 0.01 °C)
    Pressure,                   // hPa absolute
    SecondPressure,             // hPa absolute
    TemperatureF,               // the temperatures again in °F
    DewPointF,
    FrostPointF,
    DewPointAtSecondPressureF,
    DepressionF,                // °F difference
    WetBulbF,
};
inline constexpr std::size_t QuantityCount = std::size_t(Quantity::WetBulbF) + 1;

// What the user gives beside the temperature and the pressure.
enum class Input { DewPoint, FrostPoint, RelativeHumidity, VolumeRatio, AbsoluteHumidity, MixingRatio };
inline constexpr std::size_t InputCount = std::size_t(Input::MixingRatio) + 1;

struct QuantityInfo {
    Quantity quantity;
    std::string_view key;      // for scripts: "dew-point"
    std::string_view polish;   // UTF-8
    std::string_view english;
    std::string_view unit;     // UTF-8: "°C", "g/m³"
    std::string_view asciiUnit;  // "C", "g/m3"
    int decimals;              // as shown in the window
};

// The table of all quantities, in the order of Quantity.
std::span<const QuantityInfo, QuantityCount> Quantities();
inline const QuantityInfo& Info(Quantity q) { return Quantities()[std::size_t(q)]; }
// The quantity an input names (Input::DewPoint -> Quantity::DewPoint).
Quantity QuantityOf(Input input);

struct Conditions {
    double temperature = NAN;     // °C
    double pressure = 101325;     // Pa absolute
    double secondPressure = NAN;  // Pa absolute; NaN: none
    double gasMolarMass = AirMolarMass;  // g/mol, for the mass ratio
};

class State {
public:
    std::optional<double> operator[](Quantity q) const { return m_values[std::size_t(q)]; }
    // False when the input itself is out of range: then every quantity is.
    bool valid() const { return m_valid; }

private:
    friend State Compute(const Conditions&, Input, double);
    std::array<std::optional<double>, QuantityCount> m_values{};
    bool m_valid = false;
};

// All quantities of the air described. Out of range (every quantity): a non-finite input,
// a temperature outside -50..100 °C, a pressure outside 0..2 MPa, a humidity that is not
// positive or whose vapour pressure lies above saturation at the air temperature or at or
// above the total pressure. A single quantity is out of range where its own formula's range
// ends (a dew point below -50 °C, a frost point above 0.01 °C ...).
State Compute(const Conditions& conditions, Input input, double value);

// One reading of the instrument: air temperature and dew point, at the process pressure.
inline State FromReading(double temperature, double dewPoint, double pressure)
{
    Conditions c;
    c.temperature = temperature;
    c.pressure = pressure;
    return Compute(c, Input::DewPoint, dewPoint);
}

inline double ToFahrenheit(double celsius) { return celsius * 1.8 + 32; }

} // namespace hmx::humidity
