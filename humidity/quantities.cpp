#include "humidity/quantities.h"

#include "humidity/formulation.h"

namespace hmx::humidity {

namespace {

using Q = Quantity;

constexpr QuantityInfo Table[] = {
    {Q::Temperature, "temperature", "Temperatura powietrza", "Air temperature", "°C", "C", 2},
    {Q::DewPoint, "dew-point", "Temperatura punktu rosy", "Dew point", "°C", "C", 2},
    {Q::FrostPoint, "frost-point", "Temperatura punktu szronu", "Frost point", "°C", "C", 2},
    {Q::DewPointAtSecondPressure, "to-pressure-dew-point", "Punkt rosy przy drugim ciśnieniu",
     "Dew point at the second pressure", "°C", "C", 2},
    {Q::Depression, "depression", "Różnica t - tdp", "Depression t - tdp", "°C", "C", 2},
    {Q::RelativeHumidity, "relative-humidity", "Wilgotność względna", "Relative humidity", "%", "%", 2},
    {Q::RelativeHumidityIce, "relative-humidity-ice", "Wilgotność względna nad lodem", "Relative humidity over ice",
     "%", "%", 2},
    {Q::WaterActivity, "water-activity", "Aktywność wody", "Water activity", "aw", "aw", 4},
    {Q::VapourPressure, "vapour-pressure", "Ciśnienie cząstkowe pary wodnej", "Water vapour pressure", "hPa", "hPa",
     4},
    {Q::SaturationVapourPressure, "saturation-vapour-pressure", "Ciśnienie pary nasyconej nad wodą",
     "Saturation vapour pressure over water", "hPa", "hPa", 4},
    {Q::AbsoluteHumidity, "absolute-humidity", "Wilgotność bezwzględna", "Absolute humidity", "g/m³", "g/m3", 3},
    {Q::MixingRatio, "mixing-ratio", "Stosunek zmieszania", "Mixing ratio", "g/kg", "g/kg", 3},
    {Q::SpecificHumidity, "specific-humidity", "Wilgotność właściwa", "Specific humidity", "g/kg", "g/kg", 3},
    {Q::VolumeRatio, "ppmv", "Zawartość objętościowa", "Volume ratio", "ppmV", "ppmV", 1},
    {Q::MassRatio, "ppmw", "Zawartość masowa", "Mass ratio", "ppmW", "ppmW", 1},
    {Q::Enthalpy, "enthalpy", "Entalpia", "Enthalpy", "kJ/kg", "kJ/kg", 2},
    {Q::WetBulb, "wet-bulb", "Temperatura termometru mokrego", "Wet-bulb temperature", "°C", "C", 2},
    {Q::Pressure, "pressure", "Ciśnienie", "Pressure", "hPa", "hPa", 2},
    {Q::SecondPressure, "to-pressure", "Drugie ciśnienie", "Second pressure", "hPa", "hPa", 2},
    {Q::TemperatureF, "temperature-f", "Temperatura powietrza", "Air temperature", "°F", "F", 2},
    {Q::DewPointF, "dew-point-f", "Temperatura punktu rosy", "Dew point", "°F", "F", 2},
    {Q::FrostPointF, "frost-point-f", "Temperatura punktu szronu", "Frost point", "°F", "F", 2},
    {Q::DewPointAtSecondPressureF, "to-pressure-dew-point-f", "Punkt rosy przy drugim ciśnieniu",
     "Dew point at the second pressure", "°F", "F", 2},
    {Q::DepressionF, "depression-f", "Różnica t - tdp", "Depression t - tdp", "°F", "F", 2},
    {Q::WetBulbF, "wet-bulb-f", "Temperatura termometru mokrego", "Wet-bulb temperature", "°F", "F", 2},
};
static_assert(std::size(Table) == QuantityCount);

constexpr bool TableInOrder()
{
    for (std::size_t i = 0; i < QuantityCount; ++i)
        if (Table[i].quantity != Quantity(i))
            return false;
    return true;
}
static_assert(TableInOrder(), "the table follows the order of Quantity");

constexpr double Epsilon = WaterMolarMass / AirMolarMass;

// Mixing ratio in kg/kg of a gas at total pressure p with vapour pressure e.
double MixingRatioOf(double e, double p)
{
    return Epsilon * e / (p - e);
}

// The psychrometric equation (ASHRAE Handbook—Fundamentals, ch. 1): the mixing ratio of
// air at t whose wet bulb (ice bulb below 0.01 °C) is at ts, and its slope d/dts.
struct Psychrometric {
    double w, slope;
};
Psychrometric PsychrometricMixingRatio(double t, double ts, double p)
{
    const Phase phase = ts < TriplePoint ? Phase::Ice : Phase::Water;
    const double es = detail::VapourPressureAt(phase, ts, p);
    const double ws = MixingRatioOf(es, p);
    // f's own slope is left out: it only slows the last digits.
    const double wsSlope = ws * p / (p - es) * detail::LnSaturationSlope(phase, ts);
    // Latent heats and specific heats of the liquid and the solid phase, kJ/kg.
    const double a = phase == Phase::Water ? 2501 : 2830;
    const double b = phase == Phase::Water ? 2.326 : 0.24;
    const double d = phase == Phase::Water ? 4.186 : 2.1;
    const double n = (a - b * ts) * ws - 1.006 * (t - ts);
    const double nSlope = -b * ws + (a - b * ts) * wsSlope + 1.006;
    const double den = a + 1.86 * t - d * ts;
    return {n / den, (nSlope * den + n * d) / (den * den)};
}

// Wet-bulb temperature of air at t holding w kg/kg: the psychrometric mixing ratio rises
// with ts from at most w at the air's condensation point `low` to at least w at t.
// Newton kept inside that bracket (halving where a step would leave it).
std::optional<double> WetBulbOf(double t, double p, double w, double low)
{
    double lo = std::max(low, IceRange.low);
    double hi = t;
    double x = t - 0.3 * (t - lo);
    for (int i = 0; i < 100; ++i) {
        const Psychrometric g = PsychrometricMixingRatio(t, x, p);
        const double residual = g.w - w;
        (residual < 0 ? lo : hi) = x;
        double next = x - residual / g.slope;
        if (!(next > lo && next < hi))
            next = (lo + hi) / 2;
        const double step = next - x;
        x = next;
        if (std::abs(step) < 1e-5 || hi - lo < 1e-5)
            return x;
    }
    return std::nullopt;
}

// The vapour pressure the input describes, in Pa; nullopt when out of range.
std::optional<double> VapourPressureOf(const Conditions& c, Input input, double value, double saturation)
{
    const double p = c.pressure;
    switch (input) {
    case Input::DewPoint:
        return VapourPressureAt(Phase::Water, value, p);
    case Input::FrostPoint:
        return VapourPressureAt(Phase::Ice, value, p);
    case Input::RelativeHumidity:
        if (!(value > 0 && value <= 100))
            return std::nullopt;
        return value / 100 * saturation;
    case Input::VolumeRatio:
        return p * value / (1e6 + value);
    case Input::AbsoluteHumidity:
        return value * GasConstant * (c.temperature + KelvinOffset) / WaterMolarMass;
    case Input::MixingRatio:
        return p * (value / 1000) / (Epsilon + value / 1000);
    }
    return std::nullopt;
}

template <class T>
void Set(std::array<std::optional<double>, QuantityCount>& values, Quantity q, const std::optional<T>& v)
{
    values[std::size_t(q)] = v;
}

} // namespace

std::span<const QuantityInfo, QuantityCount> Quantities()
{
    return std::span<const QuantityInfo, QuantityCount>(Table);
}

Quantity QuantityOf(Input input)
{
    switch (input) {
    case Input::DewPoint:
        return Quantity::DewPoint;
    case Input::FrostPoint:
        return Quantity::FrostPoint;
    case Input::RelativeHumidity:
        return Quantity::RelativeHumidity;
    case Input::VolumeRatio:
        return Quantity::VolumeRatio;
    case Input::AbsoluteHumidity:
        return Quantity::AbsoluteHumidity;
    case Input::MixingRatio:
        return Quantity::MixingRatio;
    }
    return Quantity::DewPoint;
}

State Compute(const Conditions& c, Input input, double value)
{
    State s;
    const double t = c.temperature;
    const double p = c.pressure;
    const double p2 = c.secondPressure;
    const bool hasSecond = !std::isnan(p2);
    if (!std::isfinite(value) || !(c.gasMolarMass > 0) || (hasSecond && !(p2 > 0 && p2 <= MaxPressure)))
        return s;
    // Saturation at the air temperature: the most vapour the air can hold. Also checks
    // the temperature and the pressure.
    const std::optional<double> saturation = VapourPressureAt(Phase::Water, t, p);
    if (!saturation)
        return s;
    const std::optional<double> e = VapourPressureOf(c, input, value, *saturation);
    if (!e || !(*e > 0) || !(*e < p) || *e > *saturation * (1 + 1e-12))
        return s;
    s.m_valid = true;

    auto& v = s.m_values;
    const std::optional<double> td =
        input == Input::DewPoint ? std::optional(value) : CondensationPoint(Phase::Water, *e, p);
    // Water and ice switch at the triple point: a frost point only while the dew point
    // lies below it (or below the dew point's own range). The enhancement factors over
    // water and ice differ there by about 1e-4, so the frost point is not asked to decide.
    const bool frosty = !td || *td < TriplePoint;
    const std::optional<double> tf = input == Input::FrostPoint ? std::optional(value)
                                     : frosty                   ? CondensationPoint(Phase::Ice, *e, p)
                                                                : std::nullopt;
    const double w = MixingRatioOf(*e, p);
    const double rh = 100 * *e / *saturation;

    Set(v, Q::Temperature, std::optional(t));
    Set(v, Q::DewPoint, td);
    Set(v, Q::FrostPoint, tf);
    if (td)
        Set(v, Q::Depression, std::optional(t - *td));
    Set(v, Q::RelativeHumidity, std::optional(rh));
    const std::optional<double> iceSaturation = VapourPressureAt(Phase::Ice, t, p);
    if (iceSaturation)
        Set(v, Q::RelativeHumidityIce, std::optional(100 * *e / *iceSaturation));
    Set(v, Q::WaterActivity, std::optional(rh / 100));
    Set(v, Q::VapourPressure, std::optional(*e / 100));
    if (const std::optional<double> es = SaturationPressure(Phase::Water, t))
        Set(v, Q::SaturationVapourPressure, std::optional(*es / 100));
    Set(v, Q::AbsoluteHumidity, std::optional(*e * WaterMolarMass / (GasConstant * (t + KelvinOffset))));
    Set(v, Q::MixingRatio, std::optional(1000 * w));
    Set(v, Q::SpecificHumidity, std::optional(1000 * w / (1 + w)));
    const double ppmv = 1e6 * *e / (p - *e);
    Set(v, Q::VolumeRatio, std::optional(ppmv));
    Set(v, Q::MassRatio, std::optional(ppmv * WaterMolarMass / c.gasMolarMass));
    Set(v, Q::Enthalpy, std::optional(1.006 * t + w * (2501 + 1.86 * t)));
    // Below 0.01 °C the bulb is iced: air saturated over ice (or above, when it is
    // saturated over supercooled water) leaves it at the air temperature.
    const std::optional<double> condensation = tf ? tf : td;
    if (iceSaturation && *e >= *iceSaturation)
        Set(v, Q::WetBulb, std::optional(t));
    else if (condensation)
        Set(v, Q::WetBulb, WetBulbOf(t, p, w, std::min(*condensation, t)));
    Set(v, Q::Pressure, std::optional(p / 100));
    if (hasSecond) {
        Set(v, Q::SecondPressure, std::optional(p2 / 100));
        Set(v, Q::DewPointAtSecondPressure, CondensationPoint(Phase::Water, *e * (p2 / p), p2));
    }

    const auto fahrenheit = [&](Quantity from, Quantity to) {
        if (v[std::size_t(from)])
            v[std::size_t(to)] = ToFahrenheit(*v[std::size_t(from)]);
    };
    fahrenheit(Q::Temperature, Q::TemperatureF);
    fahrenheit(Q::DewPoint, Q::DewPointF);
    fahrenheit(Q::FrostPoint, Q::FrostPointF);
    fahrenheit(Q::DewPointAtSecondPressure, Q::DewPointAtSecondPressureF);
    fahrenheit(Q::WetBulb, Q::WetBulbF);
    if (td)
        v[std::size_t(Q::DepressionF)] = 1.8 * (t - *td);
    return s;
}

} // namespace hmx::humidity
