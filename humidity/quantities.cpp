#include "humidity/quantities.h"

#include "humidity/formulation.h"

#include <algorithm>

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
// air at t whose wet bulb of the phase is at ts, and its slope d/dts.
struct Psychrometric {
    double w, slope;
};
Psychrometric PsychrometricMixingRatio(Phase phase, double t, double ts, double p)
{
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

// The warmest bulb of the phase, at most `upTo`, over which the saturated gas stays below
// the total pressure (the psychrometric mixing ratio grows without bound towards it).
std::optional<double> BulbCeiling(Phase phase, double upTo, double p)
{
    if (detail::LnSaturation(phase, upTo) < std::log(p))
        return upTo;  // f·es < p wherever es < p
    return CondensationPoint(phase, p * (1 - 1e-9), p);
}

// The bulb of the phase between lo and hi whose psychrometric mixing ratio is w: it rises
// with the bulb's temperature, from at most w at lo to at least w at hi. Newton kept
// inside the bracket (halving where a step would leave it).
std::optional<double> SolveBulb(Phase phase, double t, double p, double w, double lo, double hi)
{
    double x = hi - 0.3 * (hi - lo);
    for (int i = 0; i < 100; ++i) {
        const Psychrometric g = PsychrometricMixingRatio(phase, t, x, p);
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

// Thermodynamic wet-bulb temperature of unsaturated air at t holding w kg/kg, whose
// condensation point is `low`. Near 0 °C a water bulb above 0.01 °C and an ice bulb below
// it can both balance the same air (the ice, sublimating, needs more heat and stays up to
// 1 K colder), so the phase is decided by the water bulb alone: water where it would be
// at or above 0.01 °C, else ice. One answer per state, rising with the temperature and the
// humidity, continuous except where the water bulb is exactly 0.01 °C: just below that
// the ice bulb is given.
std::optional<double> WetBulbOf(double t, double p, double w, double low)
{
    if (t >= TriplePoint) {
        const std::optional<double> top = BulbCeiling(Phase::Water, t, p);
        if (top && *top > TriplePoint && PsychrometricMixingRatio(Phase::Water, t, TriplePoint, p).w <= w)
            return SolveBulb(Phase::Water, t, p, w, TriplePoint, *top);
    }
    const std::optional<double> top = BulbCeiling(Phase::Ice, std::min(t, TriplePoint), p);
    if (!top)
        return std::nullopt;
    return SolveBulb(Phase::Ice, t, p, w, std::max(low, IceRange.low), *top);
}

// Saturation over the phase at t in a gas at total pressure p: f·es; where es reaches p,
// es alone (f has fallen to 1 there, so the two meet).
std::optional<double> SaturationInGas(Phase phase, double t, double p)
{
    const std::optional<double> es = SaturationPressure(phase, t);
    if (es && *es >= p)
        return es;
    return VapourPressureAt(phase, t, p);
}

// The vapour pressure the input describes, in Pa (its range already checked); nullopt
// where it reaches the total pressure.
std::optional<double> VapourPressureOf(const Conditions& c, Input input, double value, double saturation)
{
    const double p = c.pressure;
    switch (input) {
    case Input::DewPoint:
        return VapourPressureAt(Phase::Water, value, p);
    case Input::FrostPoint:
        return VapourPressureAt(Phase::Ice, value, p);
    case Input::RelativeHumidity:
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

// The most the input may be in air at c.temperature saturated with vapour pressure e.
double SaturatedValue(const Conditions& c, Input input, double e)
{
    const double p = c.pressure;
    switch (input) {
    case Input::DewPoint:
        return c.temperature;
    case Input::FrostPoint:
        // Ice-saturated air is never above saturation, even where the ice formulas put
        // it a little above the water ones, close to the triple point.
        return std::max(c.temperature, CondensationPoint(Phase::Ice, e, p).value_or(c.temperature));
    case Input::RelativeHumidity:
        return 100;
    case Input::VolumeRatio:
        return 1e6 * e / (p - e);
    case Input::AbsoluteHumidity:
        return e * WaterMolarMass / (GasConstant * (c.temperature + KelvinOffset));
    case Input::MixingRatio:
        return 1000 * MixingRatioOf(e, p);
    }
    return 0;
}

// Only finite values: anything else is out of range.
template <class T>
void Set(std::array<std::optional<double>, QuantityCount>& values, Quantity q, const std::optional<T>& v)
{
    values[std::size_t(q)] = v && std::isfinite(*v) ? std::optional<double>(*v) : std::nullopt;
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

int PrintedDecimals(Quantity quantity, double value)
{
    int decimals = Info(quantity).decimals;
    const double magnitude = std::abs(value);
    if (magnitude > 0 && magnitude < 1)
        decimals = std::max(decimals, 5 - int(std::floor(std::log10(magnitude))));
    return std::min(decimals + 2, 15);
}

InputRange RangeOf(Input input)
{
    switch (input) {
    case Input::DewPoint:
        return {EnhancementWaterRange.low, EnhancementWaterRange.high, true};
    case Input::FrostPoint:
        return {IceRange.low, IceRange.high, true};
    case Input::RelativeHumidity:
    case Input::VolumeRatio:
    case Input::AbsoluteHumidity:
    case Input::MixingRatio:
        break;
    }
    return {0, INFINITY, false};
}

State Compute(const Conditions& c, Input input, double value)
{
    State s;
    const double t = c.temperature;
    const double p = c.pressure;
    const double p2 = c.secondPressure;
    const bool hasSecond = !std::isnan(p2);
    const auto refuse = [&s](Refusal why) {
        s.m_refusal = why;
        return s;
    };
    if (!EnhancementWaterRange.contains(t))
        return refuse(Refusal::Temperature);
    if (!(p > 0 && p <= MaxPressure))
        return refuse(Refusal::Pressure);
    if (hasSecond && !(p2 > 0 && p2 <= MaxPressure))
        return refuse(Refusal::SecondPressure);
    if (!(c.gasMolarMass >= MinGasMolarMass && c.gasMolarMass <= MaxGasMolarMass))
        return refuse(Refusal::MolarMass);
    const InputRange range = RangeOf(input);
    if (!std::isfinite(value) || !(range.lowIncluded ? value >= range.low : value > range.low) || !(value <= range.high))
        return refuse(Refusal::Humidity);

    // Saturation at the air temperature, the most vapour the air can hold: none where it
    // would reach the total pressure (the air is above its boiling point).
    const double es = *SaturationPressure(Phase::Water, t);
    const std::optional<double> saturation =
        es < p ? VapourPressureAt(Phase::Water, t, p) : std::nullopt;
    // Relative humidity is over the pure phase there, as at high temperatures hygrometers
    // give it; f has fallen to 1 where es reaches p, so the two meet.
    const double rhBase = saturation.value_or(es);
    std::optional<double> e = VapourPressureOf(c, input, value, rhBase);
    if (!e || !(*e < p))
        return refuse(Refusal::TotalPressure);
    // Above saturation, but not by more than the input is printed with: saturated air.
    const bool saturated = saturation && *e >= *saturation;
    if (saturated) {
        const double limit = SaturatedValue(c, input, *saturation);
        const double slack = 0.5 * std::pow(10.0, -PrintedDecimals(QuantityOf(input), limit));
        if (value > limit + slack * (1 + 1e-9)) {
            s.m_inputLimit = limit;
            return refuse(Refusal::AboveSaturation);
        }
        e = saturation;
    }
    s.m_refusal = Refusal::None;

    auto& v = s.m_values;
    const std::optional<double> td = saturated                  ? std::optional(t)
                                     : input == Input::DewPoint ? std::optional(value)
                                                                : CondensationPoint(Phase::Water, *e, p);
    // Water and ice switch at the triple point: a frost point only while the dew point
    // lies below it (or below the dew point's own range). The enhancement factors over
    // water and ice differ there by 1e-4 (0.2 % at 2 MPa), so the frost point is not asked
    // to decide. A frost point given is shown as given.
    const bool frosty = !td || *td < TriplePoint;
    const std::optional<double> tf = input == Input::FrostPoint ? std::optional(value)
                                     : frosty                   ? CondensationPoint(Phase::Ice, *e, p)
                                                                : std::nullopt;
    const double w = MixingRatioOf(*e, p);
    const double rh = 100 * (*e / rhBase);

    Set(v, Q::Temperature, std::optional(t));
    Set(v, Q::DewPoint, td);
    Set(v, Q::FrostPoint, tf);
    if (td)
        Set(v, Q::Depression, std::optional(t - *td));
    Set(v, Q::RelativeHumidity, std::optional(rh));
    const std::optional<double> iceSaturation = SaturationInGas(Phase::Ice, t, p);
    if (iceSaturation)
        Set(v, Q::RelativeHumidityIce, std::optional(100 * (*e / *iceSaturation)));
    Set(v, Q::WaterActivity, std::optional(rh / 100));
    Set(v, Q::VapourPressure, std::optional(*e / 100));
    Set(v, Q::SaturationVapourPressure, std::optional(es / 100));
    Set(v, Q::AbsoluteHumidity, std::optional(*e * WaterMolarMass / (GasConstant * (t + KelvinOffset))));
    Set(v, Q::MixingRatio, std::optional(1000 * w));
    Set(v, Q::SpecificHumidity, std::optional(1000 * w / (1 + w)));
    const double ppmv = 1e6 * *e / (p - *e);
    Set(v, Q::VolumeRatio, std::optional(ppmv));
    Set(v, Q::MassRatio, std::optional(ppmv * WaterMolarMass / c.gasMolarMass));
    Set(v, Q::Enthalpy, std::optional(1.006 * t + w * (2501 + 1.86 * t)));
    // Saturated air leaves the bulb at the air temperature; so does air at or above
    // saturation over ice below 0.01 °C, where frost grows on the bulb.
    if (saturated || (t < TriplePoint && iceSaturation && *e >= *iceSaturation))
        Set(v, Q::WetBulb, std::optional(t));
    else
        Set(v, Q::WetBulb, WetBulbOf(t, p, w, std::min(tf ? *tf : td ? *td : IceRange.low, t)));
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
