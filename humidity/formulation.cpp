#include "humidity/formulation.h"

#include <algorithm>
#include <cmath>

namespace hmx::humidity {

namespace {

// Sonntag (1990): ln es = a/T + b + c·T + d·T² + g·ln T, es in Pa.
struct SaturationCoefficients {
    double a, b, c, d, g;
};
constexpr SaturationCoefficients WaterSaturation{-6096.9385, 21.2409642, -2.711193e-2, 1.673952e-5, 2.433502};
constexpr SaturationCoefficients IceSaturation{-6024.5282, 29.32707, 1.0613868e-2, -1.3198825e-5, -0.49382577};

// Greenspan (1976), Hardy's ITS-90 coefficients; t in °C.
struct EnhancementCoefficients {
    double A[4], B[4];
};
constexpr EnhancementCoefficients SupercooledEnhancement{
    {3.62183e-4, 2.6061244e-5, 3.8667770e-7, 3.8268958e-9}, {-10.7604, 6.3987441e-2, -2.6351566e-4, 1.6725084e-6}};
constexpr EnhancementCoefficients WaterEnhancement{
    {3.53624e-4, 2.9328363e-5, 2.6168979e-7, 8.5813609e-9}, {-10.7588, 6.3268134e-2, -2.5368934e-4, 6.3405286e-7}};
constexpr EnhancementCoefficients IceEnhancement{
    {3.64449e-4, 2.9367585e-5, 4.8874766e-7, 4.3669918e-9}, {-10.7271, 7.6215115e-2, -1.7490155e-4, 2.4668279e-6}};

const SaturationCoefficients& Saturation(Phase phase)
{
    return phase == Phase::Water ? WaterSaturation : IceSaturation;
}

const EnhancementCoefficients& Enhancement(Phase phase, double t)
{
    if (phase == Phase::Ice)
        return IceEnhancement;
    return t < 0 ? SupercooledEnhancement : WaterEnhancement;
}

const TemperatureRange& SaturationRange(Phase phase)
{
    return phase == Phase::Water ? WaterRange : IceRange;
}

const TemperatureRange& EnhancementRange(Phase phase)
{
    return phase == Phase::Water ? EnhancementWaterRange : EnhancementIceRange;
}

double Polynomial(const double (&c)[4], double t)
{
    return c[0] + t * (c[1] + t * (c[2] + t * c[3]));
}

bool PressureInRange(double p)
{
    return p > 0 && p <= MaxPressure;  // false for NaN
}

} // namespace

namespace detail {

double LnSaturation(Phase phase, double t)
{
    const SaturationCoefficients& k = Saturation(phase);
    const double T = t + KelvinOffset;
    return k.a / T + k.b + T * (k.c + T * k.d) + k.g * std::log(T);
}

double LnSaturationSlope(Phase phase, double t)
{
    const SaturationCoefficients& k = Saturation(phase);
    const double T = t + KelvinOffset;
    return -k.a / (T * T) + k.c + 2 * k.d * T + k.g / T;
}

double LnEnhancement(Phase phase, double t, double p, double es)
{
    const EnhancementCoefficients& k = Enhancement(phase, t);
    return Polynomial(k.A, t) * (1 - es / p) + std::exp(Polynomial(k.B, t)) * (p / es - 1);
}

double VapourPressureAt(Phase phase, double t, double p)
{
    const double lnEs = LnSaturation(phase, t);
    return std::exp(lnEs + LnEnhancement(phase, t, p, std::exp(lnEs)));
}

} // namespace detail

std::optional<double> SaturationPressure(Phase phase, double t)
{
    if (!SaturationRange(phase).contains(t))
        return std::nullopt;
    return std::exp(detail::LnSaturation(phase, t));
}

std::optional<double> SaturationPressure(double t)
{
    return SaturationPressure(t < TriplePoint ? Phase::Ice : Phase::Water, t);
}

namespace {

// es at t when the enhancement factor is defined at t and p, else nullopt.
std::optional<double> SaturationWithEnhancement(Phase phase, double t, double p)
{
    const std::optional<double> es = SaturationPressure(phase, t);
    if (!es || !EnhancementRange(phase).contains(t) || !PressureInRange(p) || *es >= p)
        return std::nullopt;
    return es;
}

} // namespace

std::optional<double> EnhancementFactor(Phase phase, double t, double p)
{
    const std::optional<double> es = SaturationWithEnhancement(phase, t, p);
    if (!es)
        return std::nullopt;
    return std::exp(detail::LnEnhancement(phase, t, p, *es));
}

std::optional<double> VapourPressureAt(Phase phase, double t, double p)
{
    const std::optional<double> es = SaturationWithEnhancement(phase, t, p);
    if (!es)
        return std::nullopt;
    return *es * std::exp(detail::LnEnhancement(phase, t, p, *es));
}

std::optional<double> CondensationPoint(Phase phase, double e, double p)
{
    if (!(e > 0) || !PressureInRange(p) || !(e < p))
        return std::nullopt;
    // Start from Sonntag's Magnus form (within about 0.1 K, f taken as 1.0045), then
    // Newton on ln(f·es) = ln e. The factor f changes by about 1e-4 per kelvin, so
    // leaving it out of the slope only makes the last digits converge linearly: after
    // a step under 1e-4 K the error left is below 1e-6 K.
    const double lnE = std::log(e);
    const double x = lnE - std::log(611.2 * 1.0045);
    double t = phase == Phase::Water ? 243.12 * x / (17.62 - x) : 272.62 * x / (22.46 - x);
    for (int i = 0; i < 20; ++i) {
        if (!(t > -150 && t < 150))
            return std::nullopt;
        const double lnEs = detail::LnSaturation(phase, t);
        const double g = lnEs + detail::LnEnhancement(phase, t, p, std::exp(lnEs)) - lnE;
        const double step = g / detail::LnSaturationSlope(phase, t);
        t -= step;
        if (std::abs(step) < 1e-4)
            break;
    }
    // A point solved to within 1e-6 K of a range's end belongs to the range.
    const double low = std::max(SaturationRange(phase).low, EnhancementRange(phase).low);
    const double high = std::min(SaturationRange(phase).high, EnhancementRange(phase).high);
    if (!(t > low - 1e-6 && t < high + 1e-6))
        return std::nullopt;
    return std::clamp(t, low, high);
}

std::optional<double> DewPointAtPressure(double td, double p1, double p2)
{
    const std::optional<double> e1 = VapourPressureAt(Phase::Water, td, p1);
    if (!e1 || !PressureInRange(p2))
        return std::nullopt;
    return CondensationPoint(Phase::Water, *e1 * (p2 / p1), p2);
}

} // namespace hmx::humidity
