// hmx700-calc: every humidity quantity of one state of moist air, for scripts. Numbers
// are read and written with '.' in every locale; bad input ends with status 2 and a
// message on standard error.
#include "humidity/formulation.h"
#include "humidity/quantities.h"
#include "humidity/units.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace hmx::humidity;

void Usage(std::ostream& out)
{
    out << "Usage: hmx700-calc --temperature T HUMIDITY [--pressure P] [--to-pressure P] [--molar-mass M] [--json]\n"
           "HUMIDITY is one of:\n"
           "  --dew-point T           dew point over water, C\n"
           "  --frost-point T         frost point over ice, C\n"
           "  --relative-humidity RH  relative humidity over water, %\n"
           "  --ppmv V                volume ratio to the dry gas, ppmV\n"
           "  --absolute-humidity A   g/m3\n"
           "  --mixing-ratio W        g/kg of dry air\n"
           "  --temperature T         air temperature, C\n"
           "  --pressure P            total pressure with its unit (default 1013.25hPa)\n"
           "  --to-pressure P         also give the dew point at this pressure\n"
           "  --molar-mass M          molar mass of the dry gas for ppmW, 1..1000 g/mol (default air)\n"
           "  --json                  one JSON object instead of one line per quantity\n"
           "Pressure units: hPa, kPa, bar, psi (absolute); barg, psig (gauge). Numbers use '.'.\n";
}

struct BadInput : std::runtime_error {
    using std::runtime_error::runtime_error;
};

double Number(std::string_view option, std::string_view text)
{
    if (const std::optional<double> value = ParseNumber(text))
        return *value;
    throw BadInput("not a number for --" + std::string(option) + ": " + std::string(text));
}

double Pressure(std::string_view option, std::string_view text)
{
    if (const std::optional<double> value = ParsePressure(text))
        return *value;
    throw BadInput("not a pressure with a unit (hPa, kPa, bar, psi, barg, psig) for --" + std::string(option) +
                   ": " + std::string(text));
}

struct Request {
    Conditions conditions;
    std::optional<Input> input;
    double value = NAN;
    std::string valueText;  // as given, for messages
    bool json = false;
};

Request Parse(const std::vector<std::string_view>& args)
{
    Request r;
    r.conditions.pressure = Pressure("pressure", "1013.25hPa");
    bool haveTemperature = false;
    std::vector<std::string_view> given;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        if (!arg.starts_with("--"))
            throw BadInput("unexpected argument: " + std::string(arg));
        arg.remove_prefix(2);
        // --name VALUE or --name=VALUE
        std::string_view value;
        const std::size_t eq = arg.find('=');
        if (eq != std::string_view::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
        }
        // Once each: a second one would silently win over the first.
        if (std::find(given.begin(), given.end(), arg) != given.end())
            throw BadInput("--" + std::string(arg) + " is given twice");
        given.push_back(arg);
        if (arg == "json") {
            if (eq != std::string_view::npos)
                throw BadInput("--json takes no value");
            r.json = true;
            continue;
        }
        if (eq == std::string_view::npos) {
            if (i + 1 >= args.size())
                throw BadInput("--" + std::string(arg) + " needs a value");
            value = args[++i];
        }
        if (arg == "temperature") {
            r.conditions.temperature = Number(arg, value);
            haveTemperature = true;
        } else if (arg == "pressure") {
            r.conditions.pressure = Pressure(arg, value);
        } else if (arg == "to-pressure") {
            r.conditions.secondPressure = Pressure(arg, value);
        } else if (arg == "molar-mass") {
            r.conditions.gasMolarMass = Number(arg, value);
        } else {
            std::optional<Input> input;
            for (std::size_t k = 0; k < InputCount; ++k)
                if (Info(QuantityOf(Input(k))).key == arg)
                    input = Input(k);
            if (!input)
                throw BadInput("unknown option: --" + std::string(arg));
            if (r.input)
                throw BadInput("give only one humidity quantity");
            r.input = input;
            r.value = Number(arg, value);
            r.valueText = std::string(value);
        }
    }
    if (!haveTemperature)
        throw BadInput("--temperature is missing");
    if (!r.input)
        throw BadInput("a humidity quantity is missing (--dew-point, --frost-point, --relative-humidity, --ppmv, "
                       "--absolute-humidity or --mixing-ratio)");
    return r;
}

// The shortest text that reads back as the number: "-50", "0.01".
std::string Shortest(double value)
{
    char buffer[32];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, ec == std::errc() ? end : buffer);
}

// Why the state is out of range, naming the option at fault and its range.
std::string Refused(const Request& r, const State& state)
{
    const QuantityInfo& info = Info(QuantityOf(*r.input));
    const std::string humidity = "--" + std::string(info.key) + " " + r.valueText;
    std::string why;
    switch (state.refusal()) {
    case Refusal::None:
    case Refusal::NotComputed:
        break;
    case Refusal::Temperature:
        why = "--temperature must lie within -50..100 C";
        break;
    case Refusal::Pressure:
        why = "--pressure must lie above 0 and up to 2 MPa absolute";
        break;
    case Refusal::SecondPressure:
        why = "--to-pressure must lie above 0 and up to 2 MPa absolute";
        break;
    case Refusal::MolarMass:
        why = "--molar-mass must lie within " + Shortest(MinGasMolarMass) + ".." + Shortest(MaxGasMolarMass) +
              " g/mol";
        break;
    case Refusal::Humidity: {
        const InputRange range = RangeOf(*r.input);
        why = "--" + std::string(info.key) +
              (std::isfinite(range.high) ? " must lie within " + Shortest(range.low) + ".." + Shortest(range.high) +
                                               " " + std::string(info.asciiUnit)
                                         : " must be above " + Shortest(range.low));
        break;
    }
    case Refusal::TotalPressure:
        why = humidity + " puts the vapour pressure at or above the total pressure (" +
              FormatNumber(r.conditions.pressure / 100, 2) + " hPa)";
        break;
    case Refusal::AboveSaturation:
        why = humidity + " is above saturation at the air temperature: at most " +
              FormatNumber(*state.inputLimit(), PrintedDecimals(info.quantity, *state.inputLimit())) + " " +
              std::string(info.asciiUnit);
        break;
    }
    return "out of range: " + why;
}

bool Shown(Quantity q, const Request& r)
{
    const bool second = q == Quantity::SecondPressure || q == Quantity::DewPointAtSecondPressure ||
                        q == Quantity::DewPointAtSecondPressureF;
    return !second || !std::isnan(r.conditions.secondPressure);
}

void Print(const Request& r, const State& state, std::ostream& out)
{
    if (r.json)
        out << "{";
    bool first = true;
    for (const QuantityInfo& info : Quantities()) {
        if (!Shown(info.quantity, r))
            continue;
        const std::optional<double> v = state[info.quantity];
        const std::string text = v ? FormatNumber(*v, PrintedDecimals(info.quantity, *v)) : std::string();
        if (r.json) {
            out << (first ? "\n" : ",\n") << "  \"" << info.key << "\": {\"value\": " << (v ? text : "null")
                << ", \"unit\": \"" << info.asciiUnit << "\"}";
        } else {
            out << info.key << ' ' << (v ? text : "out-of-range") << ' ' << info.asciiUnit << '\n';
        }
        first = false;
    }
    if (r.json)
        out << "\n}\n";
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    for (std::string_view arg : args) {
        if (arg == "--help" || arg == "-h") {
            Usage(std::cout);
            return 0;
        }
    }
    try {
        const Request request = Parse(args);
        const State state = Compute(request.conditions, *request.input, request.value);
        if (!state.valid())
            throw BadInput(Refused(request, state));
        Print(request, state, std::cout);
        return 0;
    } catch (const BadInput& error) {
        std::cerr << "hmx700-calc: " << error.what() << "\n";
        Usage(std::cerr);
        return 2;
    }
}
