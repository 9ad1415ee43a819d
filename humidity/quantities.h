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
    RelativeHumidity,           // %, over water (of the pure phase where saturation reaches the total pressure)
    RelativeHumidityIce,        // %, over ice; only at air temperatures up to 0.01 °C
    WaterActivity,              // RH/100
    VapourPressure,             // hPa, the vapour's partial pressure
    SaturationVapourPressure,   // hPa, over water at the air temperature (pure phase)
    AbsoluteHumidity,           // g/m³
    MixingRatio,                // g/kg of dry air
    SpecificHumidity,           // g/kg of moist air
    VolumeRatio,                // ppmV of the dry gas
    MassRatio,                  // ppmW of the dry gas (its molar mass: air unless told)
    Enthalpy,                   // kJ/kg of dry air, 0 for dry air at 0 °C
    WetBulb,                    // °C, thermodynamic (an ice bulb where a water bulb would be below 0.01 °C)
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

// The decimals hmx700-calc writes a value of the quantity with: two more than the window
// shows, and more below 1, so that six significant digits remain (at most 15).
int PrintedDecimals(Quantity quantity, double value);

inline constexpr double MinGasMolarMass = 1;     // g/mol; hydrogen has 2.016
inline constexpr double MaxGasMolarMass = 1000;  // g/mol

struct Conditions {
    double temperature = NAN;     // °C
    double pressure = 101325;     // Pa absolute
    double secondPressure = NAN;  // Pa absolute; NaN: none
    double gasMolarMass = AirMolarMass;  // g/mol, for the mass ratio
};

// What puts a whole state out of range.
enum class Refusal {
    None,
    NotComputed,      // a State made by no Compute
    Temperature,      // the air temperature is not within -50..100 °C
    Pressure,         // the total pressure is not above 0 and up to 2 MPa
    SecondPressure,   // nor is the second pressure
    MolarMass,        // the dry gas's molar mass is not within 1..1000 g/mol
    Humidity,         // the humidity is outside its own range (InputRange) or not a number
    TotalPressure,    // its vapour pressure reaches the total pressure
    AboveSaturation,  // it is above saturation at the air temperature (State::inputLimit())
};

// The range of an input before the air is looked at: the dew point -50..100 °C, the
// frost point -100..0.01 °C; the others above 0 (low) with no upper end of their own.
struct InputRange {
    double low, high;
    bool lowIncluded;
};
InputRange RangeOf(Input input);

class State {
public:
    std::optional<double> operator[](Quantity q) const { return m_values[std::size_t(q)]; }
    // False when the input itself is out of range: then every quantity is.
    bool valid() const { return m_refusal == Refusal::None; }
    Refusal refusal() const { return m_refusal; }
    // For a humidity above saturation: the most the input may be at this air temperature.
    std::optional<double> inputLimit() const { return m_inputLimit; }

private:
    friend State Compute(const Conditions&, Input, double);
    std::array<std::optional<double>, QuantityCount> m_values{};
    Refusal m_refusal = Refusal::NotComputed;
    std::optional<double> m_inputLimit;
};

// All quantities of the air described, or its Refusal (then every quantity is out of
// range). The air holds at most saturation over water at its temperature, or anything
// below the total pressure where that saturation reaches it (then the relative humidity
// is over the pure phase). A humidity above saturation by no more than hmx700-calc prints
// it with (PrintedDecimals) is saturated air; so is a frost point up to the air
// temperature, where the ice and the water formulas disagree at the triple point (by up to
// 0.03 K at 2 MPa). A single quantity is out of range where its own formula's range ends
// (a dew point below -50 °C, a frost point above 0.01 °C ...).
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
