#include "humidity/units.h"

#include "humidity/formulation.h"

#include <charconv>
#include <cmath>

namespace hmx::humidity {

namespace {

constexpr double Psi = 6894.757293168;  // Pa: one pound-force per square inch

constexpr PressureUnit Units[] = {
    {"hPa", 100, false}, {"kPa", 1000, false}, {"bar", 1e5, false},
    {"psi", Psi, false}, {"barg", 1e5, true},  {"psig", Psi, true},
};

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

} // namespace

std::span<const PressureUnit> PressureUnits()
{
    return Units;
}

double ToPascals(double value, const PressureUnit& unit)
{
    return value * unit.pascals + (unit.gauge ? StandardAtmosphere : 0);
}

std::optional<double> ParseNumber(std::string_view text)
{
    text = Trimmed(text);
    // One sign: from_chars takes a '-' itself, so a '+' may only stand before a digit.
    if (text.size() > 1 && text.front() == '+' && text[1] != '-' && text[1] != '+')
        text.remove_prefix(1);
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<double> ParsePressure(std::string_view text)
{
    text = Trimmed(text);
    for (const PressureUnit& unit : Units) {
        if (text.size() <= unit.name.size() || !text.ends_with(unit.name))
            continue;
        const std::string_view number = text.substr(0, text.size() - unit.name.size());
        if (const std::optional<double> value = ParseNumber(number))
            return ToPascals(*value, unit);
    }
    return std::nullopt;
}

std::string FormatNumber(double value, int decimals)
{
    char buffer[400];  // room for any finite double with 15 decimals
    const auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    if (ec != std::errc())
        return {};
    std::string text(buffer, ptr);
    // No "-0.00" for a value that rounds to zero.
    if (text.front() == '-' && text.find_first_not_of("-0.") == std::string::npos)
        text.erase(0, 1);
    return text;
}

} // namespace hmx::humidity
